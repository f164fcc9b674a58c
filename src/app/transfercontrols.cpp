#include "app/transfercontrols.h"

#include "app/frmterminal.h"
#include "app/reactions.h"
#include "numbers/objects.h"
#include "numbers/textrules.h"
#include "app/terminalbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

namespace orvel {

TransferControls::TransferControls(FrmTerminal &form) : m_form(form) {
    FrmTerminalUi &ui = form.ui();
    for (int i = 1; i <= 2; ++i) {
        reactions::onSelect(ui.Option2[i], i, this, [this](int index) { readClicked(index); });
        reactions::onSelect(ui.Option3[i], i, this, [this](int index) { writeClicked(index); });
    }
}

void TransferControls::listRange(QLineEdit *startField, QLineEdit *endField) {
    FrmTerminalUi &ui = m_form.ui();
    if (!ui.Check4->isChecked()) return;
    const int count = ui.List1->count();
    startField->setText(count > 0 ? ui.List1->item(0)->text() : QString());
    endField->setText(count > 0 ? ui.List1->item(count - 1)->text() : QString());
}

QString TransferControls::listEntry(int position) const {
    const QListWidgetItem *item = m_form.ui().List1->item(position);
    return item ? item->text() : QString();
}

bool TransferControls::listHoldsAnObject(int entries) const {
    for (int i = 0; i < entries; ++i) {
        const std::optional<std::int64_t> cell = roundHalfEven(valueOf(listEntry(i)));
        if (cell && objects::isObject(*cell)) return true;
    }
    return false;
}

void TransferControls::stop() {
    TransferState &state = m_form.state();
    state.CurrentObject = state.LastObject;
    m_form.ui().Label5->setText(numberText(state.CurrentObject));
}

void TransferControls::readClicked(int index) {
    FrmTerminalUi &ui = m_form.ui();
    TransferState &state = m_form.state();
    listRange(ui.Text1, ui.Text2);
    if (index == 2) {
        stop();
        return;
    }
    state.startTransfer();
    // A Read started under a running Write reads: its objects are not written.
    state.WriteInProgress = false;
    state.ListPosition = 0;
    if (ui.chClear->isChecked()) ui.txtTerm->clearText();
    state.LastObject = valueOf(ui.Text1->text());
    if (ui.Check2->isChecked()) {
        state.CurrentObject = state.LastObject;
    } else {
        if (isNumeric(ui.Text1->text())) {
            state.CurrentObject = valueOf(ui.Text1->text());
        } else {
            state.CurrentObject = 1;
            ui.Text1->setText(QStringLiteral("1"));
        }
        if (state.CurrentObject < objects::kFirst || state.CurrentObject > objects::kLast) {
            state.CurrentObject = 1;
            ui.Text1->setText(QStringLiteral("1"));
        }
        state.LastObject = valueOf(ui.Text2->text());
    }
    if (state.CurrentObject > state.LastObject) {
        state.LastObject = state.CurrentObject;
        ui.Text1->setText(numberText(state.CurrentObject));
        ui.Text2->setText(numberText(state.LastObject));
    }
    state.TransferPhase = TransferState::Reading;
    ui.Label5->setText(numberText(state.CurrentObject));
    emit transferStarted(false);
}

void TransferControls::writeClicked(int index) {
    FrmTerminalUi &ui = m_form.ui();
    TransferState &state = m_form.state();
    listRange(ui.Text3, ui.Text4);
    if (index == 2) {
        stop();
        return;
    }
    // A list-driven write takes its objects from the list itself: the fields correct what
    // they are given (0.5 becomes 1), and a corrected text must never choose a cell.
    const bool fromList = ui.Check4->isChecked();
    const double first = valueOf(fromList ? listEntry(0) : ui.Text3->text());
    double last = first;
    if (!ui.Check3->isChecked())
        last = valueOf(fromList ? listEntry(ui.List1->count() - 1) : ui.Text4->text());
    if (!(fromList ? listHoldsAnObject(ui.Check3->isChecked() ? 1 : ui.List1->count())
                   : first >= objects::kFirst && first <= objects::kLast)) {
        // Nothing to write (an empty list, say): the click is refused as a whole. The
        // selection goes back to "Stop" without running Stop, which would touch a transfer
        // that may be running.
        {
            const QSignalBlocker blockWrite(ui.Option3[1]);
            const QSignalBlocker blockStop(ui.Option3[2]);
            ui.Option3[2]->setChecked(true);
        }
        m_form.messageBox(fromList ? QStringLiteral("Nothing is written: the object list holds "
                                                    "no object number from 1 to 8175. Load an "
                                                    "object number file first.")
                                   : QStringLiteral("Nothing is written: the first object (%1) "
                                                    "is not an object number from 1 to 8175.")
                                         .arg(ui.Text3->text().isEmpty() ? QStringLiteral("none")
                                                                         : ui.Text3->text()),
                          Dialogs::Icon::Exclamation);
        return;
    }

    state.startTransfer();
    state.ListPosition = 0;
    if (ui.chClear->isChecked()) ui.txtTerm->clearText();
    state.CurrentObject = first;
    state.LastObject = last;
    if (state.CurrentObject > state.LastObject) {
        state.LastObject = state.CurrentObject;
        ui.Text3->setText(numberText(state.CurrentObject));
        ui.Text4->setText(numberText(state.LastObject));
    }
    state.WriteInProgress = true;
    state.TransferPhase = TransferState::Writing;
    ui.Label5->setText(numberText(state.CurrentObject));
    emit transferStarted(true);
}

}  // namespace orvel
