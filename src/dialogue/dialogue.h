#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace orvel {

class FrmTerminal;
class TerminalBox;

// The dialogue with the device. The device leads, one byte at a time; we only answer.
//
//   read one object:  172 -> (nothing), 172 -> 0x55, 202 -> high, 202 -> low, value
//   write one object: 172 -> (nothing), 172 -> 0xAA, 202 -> high, 202 -> low,
//                     202 -> value byte, 202 -> (nothing); then the object is read back
class Dialogue {
public:
    static constexpr char kReadCommand = 0x55;
    static constexpr char kWriteCommand = char(0xAA);

    explicit Dialogue(FrmTerminal &form);

    // Handles one reply of the device, given as its decimal text ("0" to "255").
    void ProcessReply(TerminalBox &txtTerm, QString reply);

    // Sees every reply as it comes in, before it is handled (tests and benchmarks).
    void setReplyTap(std::function<void(const QString &)> tap) { m_tap = std::move(tap); }

private:
    void readPhase(QString &reply);
    void writePhase(const QString &reply);
    void valueArrived(QString &reply);
    void endTransfer();
    void moveToNextObject();
    void display(TerminalBox &txtTerm, QString reply);

    // Sends one byte; a failure is reported and the dialogue goes on all the same.
    void send(char byte);
    enum class AddressPart { High, Low };
    void sendAddress(AddressPart part);
    // The current object's device address, if it has one.
    std::optional<int> currentAddress() const;
    bool writableObject() const;
    // Whether the current object still has the high byte already sent for it.
    bool addressStillHolds() const;
    bool nextObjectExists() const;

    FrmTerminal &m_form;
    std::function<void(const QString &)> m_tap;
    int m_sentHigh = -1;  // the address high byte last sent, read or write
};

}  // namespace orvel
