#pragma once

#include "numbers/objects.h"

#include <QtGlobal>

#include <array>

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
    int SentHigh = -1;  // the address high byte last sent, read or write
};

}  // namespace orvel
