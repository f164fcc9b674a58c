#pragma once

#include "app/dialogs.h"
#include "serial/mscomm.h"

#include <QString>

#include <optional>

class QWidget;

namespace orvel {

class ValueRecorder;

// The window's modal boxes. A box may stay open for as long as the operator likes: the
// journal lines held are written first, and no serial notification runs while it is open;
// the device's bytes that arrive meanwhile follow when it closes.
class Boxes {
public:
    Boxes(Dialogs &dialogs, QWidget &window, MSComm &comm, ValueRecorder &recorder);

    // A message box with one OK button titled "Orvel programator".
    void messageBox(const QString &text, Dialogs::Icon icon = Dialogs::Icon::None);
    // The same titled "Orvel prg", as the window of old titles the failure of a port toggle
    // and of a step of the dialogue.
    void failureBox(const QString &text, Dialogs::Icon icon = Dialogs::Icon::None);
    void aboutBox(const QString &title, const QString &text);
    std::optional<QString> openFileDialog(const Dialogs::OpenFileRequest &request);
    std::optional<QString> saveFileDialog(const Dialogs::OpenFileRequest &request);
    bool question(const QString &text);

private:
    MSComm::Hold holdForBox();

    Dialogs &m_dialogs;
    QWidget &m_window;
    MSComm &m_comm;
    ValueRecorder &m_recorder;
};

}  // namespace orvel
