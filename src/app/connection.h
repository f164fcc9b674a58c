#pragma once

#include <QObject>

namespace orvel {

class FrmTerminal;

// The port options and the connection lamps: choosing COM 1 to COM 4, connecting
// (a click on the red lamp) and disconnecting (a click on the green one).
class Connection final : public QObject {
    Q_OBJECT
public:
    explicit Connection(FrmTerminal &form);

    void optionClicked(int index);
    void Connect();
    void Disconnect();

signals:
    // After Connect or Disconnect, whether or not the port changed.
    void linkChanged();

private:
    void togglePort();
    void selectPortInUse();

    FrmTerminal &m_form;
};

}  // namespace orvel
