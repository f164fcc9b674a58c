#pragma once

#include "ports/portfailure.h"

#include <QString>
#include <QStringView>

namespace orvel {

// What the dialogue with the device reads from the window and does to it, asked at the
// step that needs it. The window answers each call with its controls at that moment; a
// test answers with a recorder.
class DialogueView {
public:
    // The activity lamp in front (Image1's elements).
    enum class Activity { Idle = 0, Reading = 1, Writing = 2, Off = 3 };

    virtual ~DialogueView() = default;

    // Check4: the objects come from the object list.
    virtual bool listDriven() const = 0;
    virtual int listCount() const = 0;
    // List1's entry at `position`; empty past the end.
    virtual QString listEntry(int position) const = 0;
    // ch_1_0: the value byte a write sends.
    virtual bool repeatTicked() const = 0;
    // Check1 ("Only Data"): protocol bytes are left out of the terminal.
    virtual bool onlyData() const = 0;

    // Whether the device has sent more since the reply in hand: it has moved on, and
    // that reply is not answered.
    virtual bool deviceMovedOn() const = 0;
    // Sends one byte to the device; says what failed when it could not.
    virtual Done<PortFailure> send(char byte) = 0;
    virtual void showActivity(Activity activity) = 0;
    // Label5: the object the dialogue stands at.
    virtual void showObject(const QString &text) = 0;
    // Selects Stop in the Read pair, then in the Write pair; returns after the reactions
    // of the pairs whose selection changed have run.
    virtual void selectStop() = 0;
    // Combo2: false when it has no item at `position`.
    virtual bool showRepeatDelay(int position) = 0;
    // Text_R1 to Text_R15.
    virtual void showRepeater(int n, const QString &text) = 0;
    // txtTerm: a text the display gate let through, and emptying it.
    virtual void appendToTerminal(QStringView text) = 0;
    virtual void clearTerminal() = 0;
    // Disconnect, then Connect.
    virtual void reopenLink() = 0;
    // A message box; no serial notification runs while it is open.
    virtual void reportFailure(const QString &text) = 0;
    // The same box for a byte that could not be sent, in the window's words.
    virtual void reportSendFailure(const Failure<PortFailure> &failure) = 0;

    // A value the device gave for a cell, and a value about to go out to it (before the
    // byte is sent): for the journal and the progress of a transfer.
    virtual void valueRead(int cell, quint8 value) { Q_UNUSED(cell) Q_UNUSED(value) }
    virtual void valueWritten(int cell, quint8 value) { Q_UNUSED(cell) Q_UNUSED(value) }
    // The value last given for `cell` was followed by a byte too many (before the device's
    // ready byte, or a ready byte where our command's acknowledgement was due): it may be
    // the line's and not the device's.
    virtual void valueInDoubt(int cell, quint8 value) { Q_UNUSED(cell) Q_UNUSED(value) }
};

}  // namespace orvel
