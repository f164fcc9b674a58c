#pragma once

#include <QtGlobal>

#include <array>

namespace orvel {

// Where the dialogue with the device stands; owned by the window, touched only on its
// thread. Object numbers are reals: they come from texts that may carry a fraction, and
// are rounded (half to even) only where they serve as an address or an index.
struct TransferState {
    static constexpr int kMemorySize = 8192;

    double CurrentObject = 0;
    double LastObject = 0;
    qint32 ListPosition = 0;  // wide enough for the longest object list a file can give
    std::array<quint8, kMemorySize> DeviceMemory{};
    bool WriteInProgress = false;
    int TransferPhase = 0;  // 0 idle, 1 read, 2 write
    int ReadStep = 0;       // 0..4
    int WriteStep = 0;      // 0..5
    bool LinkCheckPending = false;
};

}  // namespace orvel
