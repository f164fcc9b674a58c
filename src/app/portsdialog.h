#pragma once

#include "ports/portassignments.h"
#include "ports/portinfo.h"

#include <QDialog>

#include <array>
#include <chrono>

class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;

namespace orvel {

class PortEnumerator;

// Lists the serial ports present, kept current while open as adapters come and go, and lets
// the operator choose the device for each of COM 1 to COM 4. OK stores the choice.
class PortsDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPollInterval{1000};

    PortsDialog(PortEnumerator &ports, PortAssignments &assignments, QWidget *parent = nullptr,
                std::chrono::milliseconds pollInterval = kPollInterval);

    void accept() override;

private:
    void refresh();
    void fillTable();
    void fillChoice(int port, const QString &selected);

    PortEnumerator &m_ports;
    PortAssignments &m_assignments;
    QList<PortInfo> m_present;
    QTableWidget *m_table;
    std::array<QComboBox *, PortAssignments::kLastPort + 1> m_choice{};
    QTimer *m_poll;
};

// Shows the dialog; true when the operator pressed OK and the assignments were stored.
bool showPortsDialog(QWidget *parent, PortEnumerator &ports, PortAssignments &assignments);

}  // namespace orvel
