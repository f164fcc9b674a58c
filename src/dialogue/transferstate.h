#pragma once

#include "numbers/objects.h"

#include <QtGlobal>

#include <array>
#include <optional>

namespace orvel {

// Where the dialogue with the device stands; owned by the window, touched only on its
// thread. Object numbers are reals: they come from texts that may carry a fraction, and
// are rounded (half to even) only where they serve as an address or an index.
struct TransferState {
    enum Phase : int { Idle = 0, Reading = 1, Writing = 2 };

    double CurrentObject = 0;
    double LastObject = 0;
    qint32 ListPosition = 0;  // wide enough for the longest object list a file can give
    std::array<quint8, objects::kMemorySize> DeviceMemory{};
    bool WriteInProgress = false;
    Phase TransferPhase = Idle;
    int ReadStep = 0;   // 0..4
    int WriteStep = 0;  // 0..5
    bool LinkCheckPending = false;

    // The command in flight: the cell and object it was sent for, and the transfer it
    // belongs to. Its address bytes and its value belong to that cell, whatever the
    // operator has chosen since.
    int CommandAddress = -1;
    double CommandObject = 0;
    quint8 CommandValue = 0;  // the value byte a write command sent
    quint32 CommandTransfer = 0;
    quint32 TransferNumber = 0;  // one up at each Read or Write started
    // The object a finished write reads back next.
    std::optional<double> ReadBack;
    // A ready byte came where the acknowledge of our command was due: it may be the
    // device's second ready byte, crossing the command on the line. The next byte tells.
    bool ReadyCrossedCommand = false;
    // Stop was chosen: the object under way is finished, and no other begins.
    bool Stopped = false;

    bool commandInFlight() const { return ReadStep >= 2 || WriteStep >= 2; }
    // A new transfer starts at the start of an object; a command in flight is finished
    // first (the device may wait for it for ever) or given up by the device.
    void startTransfer() {
        ++TransferNumber;
        ReadBack.reset();
        Stopped = false;
        if (!commandInFlight()) ReadStep = WriteStep = 0;
    }
    // The object under way is the last: its value ends the transfer. Between two objects the
    // device's next ready byte ends it.
    void stop() {
        CurrentObject = LastObject;
        Stopped = true;
    }
};

}  // namespace orvel
