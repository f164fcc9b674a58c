#pragma once

#include <QObject>

namespace orvel {

class Boxes;
class LampPanel;
class MSComm;
class PortEnumerator;
class Transfer;
struct FrmTerminalUi;

// The port options and the connection lamps: choosing COM 1 to COM 4, connecting
// (a click on the red lamp) and disconnecting (a click on the green one). A port that cannot
// be opened is said with the ports `present` then.
class Connection final : public QObject {
    Q_OBJECT
public:
    Connection(FrmTerminalUi &ui, MSComm &comm, Transfer &transfer, LampPanel &lamps,
               Boxes &boxes, const PortEnumerator &present);

    void optionClicked(int index);
    void Connect();
    void Disconnect();

signals:
    // After Connect or Disconnect, whether or not the port changed.
    void linkChanged();

private:
    void togglePort();
    void selectPortInUse();

    FrmTerminalUi &m_ui;
    MSComm &m_comm;
    Transfer &m_transfer;
    LampPanel &m_lamps;
    Boxes &m_boxes;
    const PortEnumerator &m_present;
};

}  // namespace orvel
