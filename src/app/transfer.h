#pragma once

#include "dialogue/transferstate.h"

namespace orvel {

// The transfer state's one owner. The controls change it only through these operations;
// the dialogue steps it byte by byte as the device leads.
class Transfer {
public:
    // As start-up leaves it: objects 1 to 1, nothing running.
    Transfer() { reset(); }

    TransferState &state() { return m_state; }
    const TransferState &state() const { return m_state; }

    // A port just opened: a fresh transfer, and the device's first byte checks the link.
    void connectReset();
    // A Read or a Write from `first` to `last` (at least `first`), from the first entry of
    // the list when it drives the transfer.
    void startRead(double first, double last);
    void startWrite(double first, double last);
    // Stop: the object under way is the last, and no other begins; the device's next bytes
    // end the transfer.
    void stop();

private:
    void reset();
    void start(double first, double last);

    TransferState m_state;
};

}  // namespace orvel
