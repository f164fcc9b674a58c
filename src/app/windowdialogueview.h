#pragma once

#include "dialogue/dialogueview.h"

namespace orvel {

class Boxes;
class Connection;
struct FrmTerminalUi;
class LampPanel;
class MSComm;
class RepaintThrottle;
class StatusLine;
class Transfer;
class ValueRecorder;

// The dialogue's view of the window: each call reads or sets the controls at that moment,
// records a value in the journal and the values read, and tells the status line.
class WindowDialogueView final : public DialogueView {
public:
    WindowDialogueView(FrmTerminalUi &ui, MSComm &comm, const Transfer &transfer,
                       ValueRecorder &recorder, StatusLine &status, LampPanel &lamps,
                       RepaintThrottle &throttle, Boxes &boxes, Connection &connection);

    bool listDriven() const override;
    int listCount() const override;
    QString listEntry(int position) const override;
    bool repeatTicked() const override;
    bool onlyData() const override;
    bool deviceMovedOn() const override;
    void valueRead(int cell, quint8 value) override;
    void valueWritten(int cell, quint8 value) override;
    void valueInDoubt(int cell, quint8 value) override;
    Done<PortFailure> send(char byte) override;
    void showActivity(Activity activity) override;
    void showObject(const QString &text) override;
    void selectStop() override;
    bool showRepeatDelay(int position) override;
    void showRepeater(int n, const QString &text) override;
    void appendToTerminal(QStringView text) override;
    void clearTerminal() override;
    void reopenLink() override;
    void reportFailure(const QString &text) override;
    void reportSendFailure(const Failure<PortFailure> &failure) override;

private:
    FrmTerminalUi &m_ui;
    MSComm &m_comm;
    const Transfer &m_transfer;
    ValueRecorder &m_recorder;
    StatusLine &m_status;
    LampPanel &m_lamps;
    RepaintThrottle &m_throttle;
    Boxes &m_boxes;
    Connection &m_connection;
};

}  // namespace orvel
