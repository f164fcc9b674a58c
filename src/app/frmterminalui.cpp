#include "app/frmterminalui.h"

#include "app/lampimage.h"
#include "app/lamps.h"
#include "app/terminalbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

#include <algorithm>

namespace orvel {
namespace {

QRect place(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

template <class W>
W *make(QWidget *parent, const QString &name, QRect geometry) {
    auto *widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

template <class W>
W *make(QWidget *parent, const QString &name, const QString &caption, QRect geometry) {
    auto *widget = make<W>(parent, name, geometry);
    widget->setText(caption);
    return widget;
}

QGroupBox *frame(QWidget *parent, const QString &name, const QString &caption, QRect geometry) {
    auto *box = make<QGroupBox>(parent, name, geometry);
    box->setTitle(caption);
    return box;
}

QString element(const char *name, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// The operator may not lengthen a range field past four characters; texts set in code are
// not cut. What the operator inserts, typed, pasted or dropped, is cut to the room left, as
// in a field of that maximum length: selected text counts as room, and a field the program
// filled with more takes nothing more. Qt's modified flag tells the two apart: setText()
// clears it, an edit of the operator's sets it.
class TypedLengthLimit final : public QValidator {
public:
    static constexpr qsizetype kLength = 4;

    explicit TypedLengthLimit(QLineEdit *field)
        : QValidator(field), m_field(field), m_last(field->text()) {}

    State validate(QString &input, int &pos) const override {
        if (!m_field->isModified()) {
            m_held.clear();  // set in code; Qt forgets the undo steps before it too
        } else if (input.size() > std::max(kLength, m_last.size()) && !m_held.contains(input)) {
            if (!cutToRoom(input, pos)) return Invalid;  // Qt puts the text back as it was
        }
        m_last = input;
        if (input.size() > kLength && !m_held.contains(input)) m_held.append(input);
        return Acceptable;
    }

private:
    // Cuts the insertion that ends at the caret `pos` to the room left; false when `input`
    // is no single insertion into the text before, or there is no room.
    bool cutToRoom(QString &input, int &pos) const {
        const qsizetype tail = input.size() - pos;
        if (tail > m_last.size() || !m_last.endsWith(QStringView(input).right(tail))) return false;
        const qsizetype headEnd = std::min<qsizetype>(pos, m_last.size() - tail);
        qsizetype head = 0;
        while (head < headEnd && input.at(head) == m_last.at(head)) ++head;
        const qsizetype room = std::max(kLength, m_last.size()) - head - tail;
        if (room <= 0) return false;
        input = input.left(head + room) + input.right(tail);
        pos = int(head + room);
        return true;
    }

    QLineEdit *m_field;
    mutable QString m_last;      // the text before the change
    mutable QStringList m_held;  // longer texts held since the last set in code: undo and
                                 // redo may bring them back
};

QLineEdit *rangeField(QWidget *parent, const QString &name, QRect geometry) {
    auto *field = make<QLineEdit>(parent, name, name, geometry);
    field->setValidator(new TypedLengthLimit(field));
    field->setToolTip(QStringLiteral("1...8175"));
    return field;
}

LampImage *lamp(QWidget *parent, const QString &name, Lamp color, QRect geometry) {
    auto *image = make<LampImage>(parent, name, geometry);
    image->setPixmap(lampPixmap(color));
    return image;
}

void hideAndDisable(QWidget *widget) {
    widget->setVisible(false);
    widget->setEnabled(false);
}

}  // namespace

void FrmTerminalUi::setupUi(QWidget *form) {
    form->setObjectName(QStringLiteral("frmTerminal"));
    form->setWindowTitle(QStringLiteral("Orvel programator"));
    form->setWindowIcon(windowIcon());
    form->resize(twips(6555), twips(4155));

    // Top band: port choice and lamps.
    Frame1 = frame(form, QStringLiteral("Frame1"), QString(), place(0, 0, 4950, 540));
    const int optionLeft[] = {0, 525, 1470, 2415, 3360};
    for (int i = 1; i <= 4; ++i) {
        Option1[i] = make<QRadioButton>(Frame1, element("Option1", i),
                                        QStringLiteral("COM %1").arg(i),
                                        place(optionLeft[i], 210, 855, 225));
    }
    Option1[1]->setChecked(true);
    imgConnected = lamp(Frame1, QStringLiteral("imgConnected"), Lamp::Green,
                        place(105, 210, 240, 240));
    imgNotConnected = lamp(Frame1, QStringLiteral("imgNotConnected"), Lamp::Red,
                           place(105, 210, 225, 225));
    imgNotConnected->setScaledContents(true);
    imgConnected->setToolTip(QStringLiteral("Toggles Port"));
    imgNotConnected->setToolTip(QStringLiteral("Toggles Port"));
    const Lamp activity[] = {Lamp::Yellow, Lamp::Green, Lamp::Red, Lamp::Grey};
    for (int i = 0; i < 4; ++i)
        Image1[i] = lamp(Frame1, element("Image1", i), activity[i], place(4515, 210, 240, 240));

    Check4 = make<QCheckBox>(form, QStringLiteral("Check4"), place(5160, 120, 255, 195));
    Command1 = make<QPushButton>(form, QStringLiteral("Command1"), QStringLiteral("Objects num."),
                                 place(5400, 120, 1095, 255));
    List1 = make<QListWidget>(form, QStringLiteral("List1"), place(5160, 480, 1335, 3570));
    List1->setSortingEnabled(false);
    List1->setUniformItemSizes(true);

    // Middle column: the terminal.
    Label5 = make<QLabel>(form, QStringLiteral("Label5"), QStringLiteral("Label5"),
                          place(3675, 630, 540, 225));
    chClear = make<QCheckBox>(form, QStringLiteral("chClear"), QStringLiteral("Clear"),
                              place(4305, 630, 750, 225));
    txtTerm = make<TerminalBox>(form, QStringLiteral("txtTerm"), place(3675, 945, 1305, 3150));

    // " Read "
    Frame2 = frame(form, QStringLiteral("Frame2"), QStringLiteral(" Read "),
                   place(0, 630, 3585, 1695));
    Check2 = make<QCheckBox>(Frame2, QStringLiteral("Check2"), QStringLiteral("First Object"),
                             place(600, 210, 1170, 330));
    Check1 = make<QCheckBox>(Frame2, QStringLiteral("Check1"), QStringLiteral("Only Data"),
                             place(2100, 210, 1275, 330));
    Check1->setChecked(true);
    Check1->setVisible(false);
    Label1 = make<QLabel>(Frame2, QStringLiteral("Label1"), QStringLiteral("Start Object:"),
                          place(105, 705, 960, 225));
    Text1 = rangeField(Frame2, QStringLiteral("Text1"), place(1155, 660, 675, 330));
    Label2 = make<QLabel>(Frame2, QStringLiteral("Label2"), QStringLiteral("End Object:"),
                          place(105, 1200, 960, 225));
    Text2 = rangeField(Frame2, QStringLiteral("Text2"), place(1155, 1155, 675, 330));
    Option2[1] = make<QRadioButton>(Frame2, element("Option2", 1), QStringLiteral("Read"),
                                    place(2100, 630, 1275, 330));
    Option2[2] = make<QRadioButton>(Frame2, element("Option2", 2), QStringLiteral("Stop"),
                                    place(2100, 1155, 1275, 330));
    Option2[2]->setChecked(true);

    // " Write "
    Frame3 = frame(form, QStringLiteral("Frame3"), QStringLiteral(" Write "),
                   place(0, 2415, 3585, 1695));
    Check3 = make<QCheckBox>(Frame3, QStringLiteral("Check3"), QStringLiteral("First Object"),
                             place(630, 210, 1170, 330));
    ch_1_0 = make<QCheckBox>(Frame3, QStringLiteral("ch_1_0"), QStringLiteral("ch_1_0"),
                             place(2310, 210, 1170, 375));
    Label4 = make<QLabel>(Frame3, QStringLiteral("Label4"), QStringLiteral("Start Object:"),
                          place(105, 675, 960, 225));
    Text3 = rangeField(Frame3, QStringLiteral("Text3"), place(1155, 630, 675, 330));
    Label3 = make<QLabel>(Frame3, QStringLiteral("Label3"), QStringLiteral("End Object:"),
                          place(105, 1170, 960, 225));
    Text4 = rangeField(Frame3, QStringLiteral("Text4"), place(1155, 1125, 675, 330));
    Option3[1] = make<QRadioButton>(Frame3, element("Option3", 1), QStringLiteral("Write"),
                                    place(2100, 630, 1275, 330));
    Option3[2] = make<QRadioButton>(Frame3, element("Option3", 2), QStringLiteral("Stop"),
                                    place(2100, 1155, 1275, 330));
    Option3[2]->setChecked(true);

    // The hidden section below the client area.
    Label6 = make<QLabel>(form, QStringLiteral("Label6"), QStringLiteral("Send Delay"),
                          place(120, 4275, 855, 255));
    Combo1 = make<QComboBox>(form, QStringLiteral("Combo1"), place(1200, 4245, 855, 315));
    Combo1->addItems({"0 sec", "10 msec", "20 msec", "50 msec", "100 msec", "200 msec",
                      "500 msec", "1 sec"});
    Label7 = make<QLabel>(form, QStringLiteral("Label7"), QStringLiteral("Packet Time"),
                          place(120, 4725, 900, 195));
    Text5 = make<QLineEdit>(form, QStringLiteral("Text5"), place(1200, 4650, 855, 315));
    Text5->setToolTip(QStringLiteral("0 ... 31"));
    Label8 = make<QLabel>(form, QStringLiteral("Label8"), QStringLiteral("Repeat Delay"),
                          place(120, 5130, 975, 195));
    Combo2 = make<QComboBox>(form, QStringLiteral("Combo2"), place(1200, 5100, 855, 315));
    Combo2->addItems({"0.5 sec", "1 sec", "2 sec", "3 sec", "4 sec", "6 sec", "8 sec", "NO"});
    for (QComboBox *combo : {Combo1, Combo2}) {
        for (int i = 0; i < combo->count(); ++i) combo->setItemData(i, 0);
        combo->setCurrentIndex(-1);
    }
    Command2 = make<QPushButton>(form, QStringLiteral("Command2"), QStringLiteral("Read"),
                                 place(120, 5625, 855, 315));
    Command3 = make<QPushButton>(form, QStringLiteral("Command3"), QStringLiteral("Write"),
                                 place(1200, 5625, 855, 315));
    Frame4 = frame(form, QStringLiteral("Frame4"), QStringLiteral(" Repeaters : "),
                   place(2160, 4125, 4335, 1890));
    struct Repeater {
        int left, top, labelNumber, labelLeft, labelTop, labelWidth;
    };
    const Repeater repeaters[16] = {
        {},
        {720, 225, 9, 240, 300, 345},     {720, 525, 10, 240, 600, 345},
        {720, 825, 11, 240, 900, 345},    {720, 1125, 12, 240, 1155, 345},
        {720, 1425, 13, 240, 1455, 345},  {2040, 225, 18, 1560, 300, 345},
        {2040, 525, 17, 1560, 600, 345},  {2040, 825, 16, 1560, 900, 345},
        {2040, 1125, 15, 1560, 1155, 345}, {2040, 1425, 14, 1440, 1455, 435},
        {3600, 300, 23, 3000, 375, 435},  {3600, 600, 22, 3000, 675, 435},
        {3600, 900, 21, 3000, 975, 435},  {3600, 1200, 20, 3000, 1230, 435},
        {3600, 1500, 19, 3000, 1530, 390},
    };
    for (int n = 1; n <= 15; ++n) {
        const Repeater &r = repeaters[n];
        Text_R[n] = make<QLineEdit>(Frame4, QStringLiteral("Text_R%1").arg(n),
                                    place(r.left, r.top, 375, 315));
        Text_R[n]->setToolTip(QStringLiteral("0 ... 7"));
        // Only the fifteenth lacks the blank after the R.
        const QString caption = n == 15 ? QStringLiteral("R15 :") : QStringLiteral("R %1 :").arg(n);
        repeaterLabel[n] = make<QLabel>(Frame4, QStringLiteral("Label%1").arg(r.labelNumber),
                                        caption, place(r.labelLeft, r.labelTop, r.labelWidth, 195));
        repeaterLabel[n]->adjustSize();
    }
    for (QLabel *label : {Label6, Label7, Label8}) label->adjustSize();
    for (QWidget *hidden : std::initializer_list<QWidget *>{Label6, Combo1, Label7, Text5, Label8,
                                                           Combo2, Command2, Command3, Frame4})
        hideAndDisable(hidden);

    // Keyboard focus order.
    QWidget *order[] = {txtTerm, Option1[1], Option1[2], Option1[3], Option1[4], Check2,
                        Option2[2], Option2[1], Text2, Text1, Check3, Text3, Text4, ch_1_0,
                        Option3[2], Option3[1], chClear, List1, Check4, Command1};
    for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace orvel
