#include "app/transfer.h"

namespace orvel {

void Transfer::reset() {
    m_state.CurrentObject = 1;
    m_state.LastObject = 1;
    m_state.WriteInProgress = false;
    m_state.TransferPhase = TransferState::Idle;
    m_state.ReadStep = 0;
    m_state.WriteStep = 0;
    m_state.CommandAddress = -1;
    m_state.ReadBack.reset();
    m_state.Stopped = false;
}

void Transfer::connectReset() {
    reset();
    m_state.LinkCheckPending = true;
}

void Transfer::start(double first, double last) {
    m_state.startTransfer();
    m_state.ListPosition = 0;
    m_state.CurrentObject = first;
    m_state.LastObject = last;
}

void Transfer::startRead(double first, double last) {
    start(first, last);
    // A Read started under a running Write reads: its objects are not written.
    m_state.WriteInProgress = false;
    m_state.TransferPhase = TransferState::Reading;
}

void Transfer::startWrite(double first, double last) {
    start(first, last);
    m_state.WriteInProgress = true;
    m_state.TransferPhase = TransferState::Writing;
}

void Transfer::stop() { m_state.stop(); }

}  // namespace orvel
