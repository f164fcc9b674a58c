#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QObject>

// A control's reaction runs the same way whether the operator or the program changes
// the control: synchronously, before the change returns, and only when the value
// really changes. Qt's change signals (textChanged, toggled) already behave so; these
// helpers make every reaction use them and not the operator-only signals (textEdited,
// clicked), so a value set in code can never skip its reaction.
namespace orvel::reactions {

// A text box's change reaction.
template <class F>
void onChange(QLineEdit *field, QObject *context, F reaction) {
    QObject::connect(field, &QLineEdit::textChanged, context, [reaction] { reaction(); });
}

// A check box's click reaction: it runs whenever its value changes.
template <class F>
void onClick(QAbstractButton *checkBox, QObject *context, F reaction) {
    QObject::connect(checkBox, &QAbstractButton::toggled, context, [reaction] { reaction(); });
}

// An option button's click reaction, with its index in its array: it runs when the
// option becomes selected.
template <class F>
void onSelect(QAbstractButton *option, int index, QObject *context, F reaction) {
    QObject::connect(option, &QAbstractButton::toggled, context, [reaction, index](bool on) {
        if (on) reaction(index);
    });
}

}  // namespace orvel::reactions
