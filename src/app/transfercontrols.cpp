#include "app/transfercontrols.h"

#include "app/boxes.h"
#include "app/frmterminalui.h"
#include "app/reactions.h"
#include "app/terminalbox.h"
#include "app/transfer.h"
#include "numbers/objects.h"
#include "numbers/textrules.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

namespace orvel {

TransferControls::TransferControls(FrmTerminalUi &ui, Transfer &transfer, Boxes &boxes)
    : m_ui(ui), m_transfer(transfer), m_boxes(boxes) {
    for (int i = 1; i <= 2; ++i) {
        reactions::onSelect(ui.Option2[i], i, this, [this](int index) { readClicked(index); });
        reactions::onSelect(ui.Option3[i], i, this, [this](int index) { writeClicked(index); });
    }
}

void TransferControls::listRange(QLineEdit *startField, QLineEdit *endField) {
    FrmTerminalUi &ui = m_ui;
    if (!ui.Check4->isChecked()) return;
    const int count = ui.List1->count();
    startField->setText(count > 0 ? ui.List1->item(0)->text() : QString());
    endField->setText(count > 0 ? ui.List1->item(count - 1)->text() : QString());
}

QString TransferControls::listEntry(int position) const {
    const QListWidgetItem *item = m_ui.List1->item(position);
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
    m_transfer.stop();
    m_ui.Label5->setText(numberText(m_transfer.state().CurrentObject));
}

void TransferControls::readClicked(int index) {
    FrmTerminalUi &ui = m_ui;
    listRange(ui.Text1, ui.Text2);
    if (index == 2) {
        stop();
        return;
    }
    if (ui.chClear->isChecked()) ui.txtTerm->clearText();
    double current = 0;
    double last = valueOf(ui.Text1->text());
    if (ui.Check2->isChecked()) {
        current = last;
    } else {
        if (isNumeric(ui.Text1->text())) {
            current = valueOf(ui.Text1->text());
        } else {
            current = 1;
            ui.Text1->setText(QStringLiteral("1"));
        }
        if (current < objects::kFirst || current > objects::kLast) {
            current = 1;
            ui.Text1->setText(QStringLiteral("1"));
        }
        last = valueOf(ui.Text2->text());
    }
    if (current > last) {
        last = current;
        ui.Text1->setText(numberText(current));
        ui.Text2->setText(numberText(last));
    }
    m_transfer.startRead(current, last);
    ui.Label5->setText(numberText(current));
    emit transferStarted(false);
}

void TransferControls::writeClicked(int index) {
    FrmTerminalUi &ui = m_ui;
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
        m_boxes.messageBox(fromList ? QStringLiteral("Nothing is written: the object list holds "
                                                    "no object number from 1 to 8175. Load an "
                                                    "object number file first.")
                                   : QStringLiteral("Nothing is written: the first object (%1) "
                                                    "is not an object number from 1 to 8175.")
                                         .arg(ui.Text3->text().isEmpty() ? QStringLiteral("none")
                                                                         : ui.Text3->text()),
                          Dialogs::Icon::Exclamation);
        return;
    }

    if (ui.chClear->isChecked()) ui.txtTerm->clearText();
    if (first > last) {
        last = first;
        ui.Text3->setText(numberText(first));
        ui.Text4->setText(numberText(last));
    }
    m_transfer.startWrite(first, last);
    ui.Label5->setText(numberText(first));
    emit transferStarted(true);
}

}  // namespace orvel
