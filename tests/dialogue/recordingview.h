#pragma once

#include <QStringList>
#include <functional>
#include <utility>

#include "dialogue/dialogueview.h"

namespace orvel::test {

// A window as the dialogue sees it: each call it makes is recorded in order as a text
// ("send 85", "object 11", "stop", "delay 3", "R1 0", "terminal 7 - 10\n\r"); what it
// reads is set by the test.
class RecordingView final : public DialogueView {
public:
    QStringList calls;
    QStringList list;  // List1, taken when `listed` (Check4)
    bool listed = false;
    bool repeat = false;   // ch_1_0
    bool dataOnly = true;  // Check1, ticked as the window starts
    bool movedOn = false;  // the device has sent more since the reply in hand
    std::optional<QString> sendError;
    std::function<void()> whileStopping;  // stands for the Stop reactions, run nested

    bool listDriven() const override { return listed; }
    int listCount() const override { return int(list.size()); }
    QString listEntry(int position) const override { return list.value(position); }
    bool repeatTicked() const override { return repeat; }
    bool onlyData() const override { return dataOnly; }
    bool deviceMovedOn() const override { return movedOn; }
    std::optional<QString> send(char byte) override {
        calls << QStringLiteral("send %1").arg(quint8(byte));
        return sendError;
    }
    // Only a change is recorded: the window raises a lamp only then.
    void showActivity(Activity activity) override {
        if (activity != std::exchange(m_lamp, activity))
            calls << QStringLiteral("lamp %1").arg(int(activity));
    }
    void showObject(const QString &text) override { calls << "object " + text; }
    void selectStop() override {
        calls << QStringLiteral("stop");
        if (whileStopping) whileStopping();
    }
    bool showRepeatDelay(int position) override {
        calls << QStringLiteral("delay %1").arg(position);
        return position < 9;  // Combo2's items
    }
    void showRepeater(int n, const QString &text) override {
        calls << QStringLiteral("R%1 %2").arg(n).arg(text);
    }
    void appendToTerminal(QStringView text) override { calls << "terminal " + text.toString(); }
    void clearTerminal() override { calls << QStringLiteral("clear"); }
    void reopenLink() override { calls << QStringLiteral("reopen"); }
    void reportFailure(const QString &text) override { calls << "failure " + text; }

private:
    std::optional<Activity> m_lamp;
};

}  // namespace orvel::test
