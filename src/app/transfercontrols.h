#pragma once

#include <QObject>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace orvel {

class FrmTerminal;

// The Read and Write option pairs. A click only prepares a transfer (or stops one);
// the device's next bytes drive it.
class TransferControls final : public QObject {
    Q_OBJECT
public:
    explicit TransferControls(FrmTerminal &form);

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

    FrmTerminal &m_form;
};

}  // namespace orvel
