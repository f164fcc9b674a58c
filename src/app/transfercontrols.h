#pragma once

#include <QObject>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace orvel {

class Boxes;
class Transfer;
struct FrmTerminalUi;

// The Read and Write option pairs. A click only prepares a transfer (or stops one);
// the device's next bytes drive it.
class TransferControls final : public QObject {
    Q_OBJECT
public:
    TransferControls(FrmTerminalUi &ui, Transfer &transfer, Boxes &boxes);

    void readClicked(int index);
    void writeClicked(int index);

signals:
    // A Read or a Write has set up its transfer.
    void transferStarted(bool write);

private:
    // With the list ticked, the range fields take the list's first and last entries.
    void listRange(QLineEdit *startField, QLineEdit *endField);
    void stop();
    QString listEntry(int position) const;
    // Whether one of the list's first `entries` entries names an object.
    bool listHoldsAnObject(int entries) const;

    FrmTerminalUi &m_ui;
    Transfer &m_transfer;
    Boxes &m_boxes;
};

}  // namespace orvel
