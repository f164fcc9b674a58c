#pragma once

#include "numbers/objects.h"

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
    static constexpr double kLowest = objects::kFirst;
    static constexpr double kHighest = objects::kLast;

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
