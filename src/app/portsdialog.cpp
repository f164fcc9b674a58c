#include "app/portsdialog.h"

#include "ports/portdescription.h"
#include "ports/portenumerator.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace orvel {
namespace {

// Wide enough for a stable name and its description side by side.
constexpr QSize kStartSize(900, 420);

enum Column { Device, StableName, Description, Maker, SerialNumber, VidPid, ColumnCount };

QStringList row(const PortInfo &port) {
    return {port.devicePath,   port.byIdPath,     port.description,
            port.manufacturer, port.serialNumber, port.vidPid()};
}

}  // namespace

PortsDialog::PortsDialog(PortEnumerator &ports, PortAssignments &assignments, QWidget *parent,
                         std::chrono::milliseconds pollInterval)
    : QDialog(parent),
      m_ports(ports),
      m_assignments(assignments),
      m_table(new QTableWidget(0, ColumnCount, this)),
      m_poll(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Serial ports"));
    m_table->setObjectName(QStringLiteral("ports"));
    m_table->setAccessibleName(QStringLiteral("Serial ports present"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Stable name"),
                                        QStringLiteral("Description"), QStringLiteral("Maker"),
                                        QStringLiteral("Serial number"),
                                        QStringLiteral("VID:PID")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setTabKeyNavigation(false);  // Tab goes on to the COM choices; arrows move inside

    auto *choices = new QFormLayout;
    for (int port = PortAssignments::kFirstPort; port <= PortAssignments::kLastPort; ++port) {
        m_choice[port] = new QComboBox(this);
        m_choice[port]->setObjectName(QStringLiteral("com%1").arg(port));
        m_choice[port]->setAccessibleName(QStringLiteral("COM %1: device").arg(port));
        m_choice[port]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        m_choice[port]->setFocusPolicy(Qt::StrongFocus);
        // Alt+1 to Alt+4 reach the choices too; the label is the choice's buddy.
        choices->addRow(QStringLiteral("COM &%1:").arg(port), m_choice[port]);
        const QString configured = PortAssignments::environmentOverride(port);
        if (configured.isEmpty()) continue;
        auto *wins = new QLabel(QStringLiteral("%1 is set to %2 and wins over this choice.")
                                    .arg(PortAssignments::environmentVariable(port), configured),
                                this);
        wins->setObjectName(QStringLiteral("com%1Override").arg(port));
        choices->addRow(QString(), wins);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setAccessibleName(QStringLiteral("OK or Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PortsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PortsDialog::reject);

    auto *layout = new QVBoxLayout(this);
    auto *present = new QLabel(QStringLiteral("Serial ports &present:"), this);
    present->setBuddy(m_table);
    layout->addWidget(present);
    layout->addWidget(m_table);
    layout->addLayout(choices);
    layout->addWidget(buttons);

    m_present = m_ports.ports();
    fillTable();
    for (int port = PortAssignments::kFirstPort; port <= PortAssignments::kLastPort; ++port)
        fillChoice(port, m_assignments.assigned(port));
    resize(sizeHint().expandedTo(kStartSize));
    connect(m_poll, &QTimer::timeout, this, &PortsDialog::refresh);
    m_poll->start(pollInterval);
}

void PortsDialog::accept() {
    for (int port = PortAssignments::kFirstPort; port <= PortAssignments::kLastPort; ++port)
        m_assignments.assign(port, m_choice[port]->currentData().toString());
    m_assignments.save();
    QDialog::accept();
}

void PortsDialog::refresh() {
    QList<PortInfo> present = m_ports.ports();
    if (present == m_present) return;
    m_present = std::move(present);
    fillTable();
    for (int port = PortAssignments::kFirstPort; port <= PortAssignments::kLastPort; ++port)
        fillChoice(port, m_choice[port]->currentData().toString());
}

void PortsDialog::fillTable() {
    m_table->setRowCount(int(m_present.size()));
    for (int r = 0; r < m_present.size(); ++r) {
        const QStringList cells = row(m_present[r]);
        for (int c = 0; c < ColumnCount; ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

// The choice stays on the device chosen: when it is unplugged it is shown as absent,
// never replaced by another port.
void PortsDialog::fillChoice(int port, const QString &selected) {
    QComboBox *choice = m_choice[port];
    choice->clear();
    choice->addItem(QStringLiteral("Default (%1)").arg(PortAssignments::defaultPath(port)),
                    QString());
    for (const PortInfo &present : m_present)
        choice->addItem(portLabel(present), present.preferredName());
    if (selected.isEmpty()) return;
    const PortInfo *found = findPort(m_present, selected);
    int index = found ? choice->findData(found->preferredName()) : -1;
    if (index < 0) {
        choice->addItem(QStringLiteral("%1 (absent)").arg(selected), selected);
        index = choice->count() - 1;
    }
    choice->setCurrentIndex(index);
}

bool showPortsDialog(QWidget *parent, PortEnumerator &ports, PortAssignments &assignments) {
    PortsDialog dialog(ports, assignments, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace orvel
