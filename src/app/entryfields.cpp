#include "app/entryfields.h"

#include "app/frmterminalui.h"
#include "app/reactions.h"
#include "numbers/textrules.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>

namespace orvel {

EntryFields::EntryFields(FrmTerminalUi &ui, QObject *parent) : QObject(parent), m_ui(ui) {
    for (QLineEdit *field : {ui.Text1, ui.Text2, ui.Text3, ui.Text4}) {
        reactions::onChange(field, this, [this, field] { fieldChanged(field); });
        field->installEventFilter(this);
    }
    reactions::onClick(ui.Check2, this, [this] { firstObjectClicked(m_ui.Check2, m_ui.Text2); });
    reactions::onClick(ui.Check3, this, [this] { firstObjectClicked(m_ui.Check3, m_ui.Text4); });
    reactions::onClick(ui.ch_1_0, this, [this] { repeatClicked(); });
}

void EntryFields::fieldChanged(QLineEdit *field) {
    const QString text = field->text();
    if (isNumeric(text)) {
        const double value = valueOf(text);
        if (value < kLowest || value > kHighest) field->setText(QStringLiteral("1"));
    } else {
        field->setText(QString());
    }
    field->setCursorPosition(int(field->text().size()));
}

bool EntryFields::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control of this window validates; switching to
        // another window or opening a menu does not.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            validate(static_cast<QLineEdit *>(watched));
    }
    return QObject::eventFilter(watched, event);
}

void EntryFields::validate(QLineEdit *field) {
    if (field->text().isEmpty()) field->setText(QStringLiteral("1"));
}

void EntryFields::firstObjectClicked(QCheckBox *check, QLineEdit *endField) {
    if (check->isChecked()) {
        endField->setText(QString());
        endField->setEnabled(false);
    } else {
        endField->setText(QStringLiteral("1"));
        endField->setEnabled(true);
    }
}

void EntryFields::repeatClicked() {
    m_ui.ch_1_0->setText(m_ui.ch_1_0->isChecked() ? QStringLiteral(" 1 - Repeat")
                                                  : QStringLiteral(" 0 - Disable"));
}

}  // namespace orvel
