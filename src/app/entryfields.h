#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;

namespace orvel {

struct FrmTerminalUi;

// The object-range fields Text1 to Text4 and the check boxes of the Read and Write
// frames. Bad input is corrected in place, silently: a field holds nothing or a
// number from 1 to 8175, and a field left empty becomes "1".
class EntryFields final : public QObject {
    Q_OBJECT
public:
    static constexpr double kLowest = 1;
    static constexpr double kHighest = 8175;

    EntryFields(FrmTerminalUi &ui, QObject *parent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fieldChanged(QLineEdit *field);
    void validate(QLineEdit *field);
    void firstObjectClicked(QCheckBox *check, QLineEdit *endField);
    void repeatClicked();

    FrmTerminalUi &m_ui;
};

}  // namespace orvel
