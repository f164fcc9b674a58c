#pragma once

#include <QtGlobal>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QWidget;

namespace orvel {

class LampImage;
class TerminalBox;

// The controls of the window `frmTerminal`, under the names the rest of the program uses.
// Arrays are indexed as the window numbers them (Option1(1) is Option1[1]).
struct FrmTerminalUi {
    QGroupBox *Frame1 = nullptr;
    std::array<QRadioButton *, 5> Option1{};  // 1..4: "COM 1".."COM 4"
    LampImage *imgConnected = nullptr;
    LampImage *imgNotConnected = nullptr;
    std::array<LampImage *, 4> Image1{};  // 0 yellow, 1 green, 2 red, 3 grey

    QCheckBox *Check4 = nullptr;
    QPushButton *Command1 = nullptr;
    QListWidget *List1 = nullptr;

    QLabel *Label5 = nullptr;
    QCheckBox *chClear = nullptr;
    TerminalBox *txtTerm = nullptr;

    QGroupBox *Frame2 = nullptr;  // " Read "
    QCheckBox *Check2 = nullptr;
    QCheckBox *Check1 = nullptr;  // "Only Data", ticked and hidden
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    std::array<QRadioButton *, 3> Option2{};  // 1 "Read", 2 "Stop"

    QGroupBox *Frame3 = nullptr;  // " Write "
    QCheckBox *Check3 = nullptr;
    QCheckBox *ch_1_0 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Text4 = nullptr;
    std::array<QRadioButton *, 3> Option3{};  // 1 "Write", 2 "Stop"

    // The hidden section: invisible and disabled, never shown.
    QLabel *Label6 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *Text5 = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *Combo2 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    std::array<QLineEdit *, 16> Text_R{};  // 1..15
    std::array<QLabel *, 16> repeaterLabel{};  // the label beside Text_R[n]

    // Builds every control on `form` as the window definition gives it.
    void setupUi(QWidget *form);
};

// 15 twips are one pixel at 96 dots per inch.
constexpr int twips(int value) { return (value + 7) / 15; }

}  // namespace orvel
