#include "app/boxes.h"

#include "app/valuerecorder.h"

namespace orvel {

Boxes::Boxes(Dialogs &dialogs, QWidget &window, MSComm &comm, ValueRecorder &recorder)
    : m_dialogs(dialogs), m_window(window), m_comm(comm), m_recorder(recorder) {}

MSComm::Hold Boxes::holdForBox() {
    m_recorder.flushJournal();
    return MSComm::Hold(&m_comm);
}

void Boxes::messageBox(const QString &text, Dialogs::Icon icon) {
    const MSComm::Hold hold = holdForBox();
    m_dialogs.message(&m_window, Dialogs::kTitle, text, icon);
}

void Boxes::failureBox(const QString &text, Dialogs::Icon icon) {
    const MSComm::Hold hold = holdForBox();
    m_dialogs.message(&m_window, Dialogs::kOldTitle, text, icon);
}

void Boxes::aboutBox(const QString &title, const QString &text) {
    const MSComm::Hold hold = holdForBox();
    m_dialogs.about(&m_window, title, text);
}

std::optional<QString> Boxes::openFileDialog(const Dialogs::OpenFileRequest &request) {
    const MSComm::Hold hold = holdForBox();
    return m_dialogs.openFile(&m_window, request);
}

std::optional<QString> Boxes::saveFileDialog(const Dialogs::OpenFileRequest &request) {
    const MSComm::Hold hold = holdForBox();
    return m_dialogs.saveFile(&m_window, request);
}

bool Boxes::question(const QString &text) {
    const MSComm::Hold hold = holdForBox();
    return m_dialogs.question(&m_window, text);
}

}  // namespace orvel
