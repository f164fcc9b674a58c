#include "app/accessibility.h"

#include "app/frmterminalui.h"
#include "app/lampimage.h"
#include "app/terminalbox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>

#include <array>
#include <utility>

namespace orvel {
namespace {

// Of lamps stacked on one place only the last raised is seen.
bool behindAnotherLamp(const QWidget *lamp) {
    const QObjectList &siblings = lamp->parent()->children();
    for (qsizetype i = siblings.indexOf(lamp) + 1; i < siblings.size(); ++i) {
        const auto *other = qobject_cast<const LampImage *>(siblings[i]);
        if (other && !other->isHidden() && other->geometry().intersects(lamp->geometry()))
            return true;
    }
    return false;
}

class LampAccessible final : public QAccessibleWidget {
public:
    explicit LampAccessible(QWidget *lamp) : QAccessibleWidget(lamp, QAccessible::Graphic) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (behindAnotherLamp(widget())) state.invisible = true;
        return state;
    }
};

// A field of the status line is named by what it shows, and shows nothing while empty.
class StatusFieldAccessible final : public QAccessibleWidget {
public:
    explicit StatusFieldAccessible(QLabel *field)
        : QAccessibleWidget(field, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<QLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (static_cast<QLabel *>(widget())->text().isEmpty()) state.invisible = true;
        return state;
    }
};

QAccessibleInterface *interfaceFor(const QString &, QObject *object) {
    if (auto *lamp = qobject_cast<LampImage *>(object)) return new LampAccessible(lamp);
    auto *label = qobject_cast<QLabel *>(object);
    if (label && qobject_cast<QStatusBar *>(label->parentWidget()))
        return new StatusFieldAccessible(label);
    return nullptr;
}

// Whatever the activity lamp shows, after Image1's elements: yellow, green, red, grey.
const char *const kActivity[] = {"Activity: link, device ready", "Activity: reading",
                                 "Activity: writing", "Activity: idle"};

// Names each lamp of a stack as the one in front says; returns that one.
template <size_t N>
QWidget *nameStack(const std::array<LampImage *, N> &stack, const QString &name) {
    QWidget *front = nullptr;
    for (LampImage *lamp : stack) {
        if (!behindAnotherLamp(lamp)) front = lamp;
        if (lamp->accessibleName() == name) continue;
        lamp->setAccessibleName(name);
        QAccessibleEvent event(lamp, QAccessible::NameChanged);  // Qt 6.4 sends none itself
        WindowAccessibility::send(&event);
    }
    return front;
}

void announceFrontChange(QWidget *before, QWidget *after) {
    if (before == after) return;
    QAccessible::State changed;
    changed.invisible = true;
    for (QWidget *lamp : {before, after}) {
        if (!lamp) continue;
        QAccessibleStateChangeEvent event(lamp, changed);
        WindowAccessibility::send(&event);
    }
}

}  // namespace

WindowAccessibility::Sink WindowAccessibility::send = QAccessible::updateAccessibility;

void WindowAccessibility::install() {
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    Q_UNUSED(installed);
}

WindowAccessibility::WindowAccessibility(FrmTerminalUi &ui, QStatusBar *statusLine,
                                         QObject *parent)
    : QObject(parent), m_ui(ui) {
    const std::pair<QWidget *, const char *> names[] = {
        {ui.Frame1, "Port and connection"},
        {ui.Check4, "Take the objects from the list"},
        {ui.List1, "Object list"},
        {ui.txtTerm, "Terminal"},
        {ui.Frame2, "Read objects"},
        {ui.Check2, "Read: First Object"},
        {ui.Label1, "Read: Start Object:"},
        {ui.Text1, "Read: Start Object"},
        {ui.Label2, "Read: End Object:"},
        {ui.Text2, "Read: End Object"},
        {ui.Option2[2], "Read: Stop"},
        {ui.Frame3, "Write objects"},
        {ui.Check3, "Write: First Object"},
        {ui.Label4, "Write: Start Object:"},
        {ui.Text3, "Write: Start Object"},
        {ui.Label3, "Write: End Object:"},
        {ui.Text4, "Write: End Object"},
        {ui.Option3[2], "Write: Stop"},
        {statusLine, "Status line"},
    };
    for (const auto &[widget, name] : names) widget->setAccessibleName(QString::fromUtf8(name));
    ui.Frame1->parentWidget()->setAccessibleName(QStringLiteral("Controls"));
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(ui.txtTerm),
                                      static_cast<QAbstractScrollArea *>(ui.List1)}) {
        const QString name = area->accessibleName();
        area->verticalScrollBar()->setAccessibleName(name + QStringLiteral(": scroll bar"));
        area->horizontalScrollBar()->setAccessibleName(
            name + QStringLiteral(": horizontal scroll bar"));
    }
    ui.Label1->setBuddy(ui.Text1);
    ui.Label2->setBuddy(ui.Text2);
    ui.Label4->setBuddy(ui.Text3);
    ui.Label3->setBuddy(ui.Text4);
    ui.Label5->setAccessibleDescription(QStringLiteral("The object the transfer stands at"));
    ui.chClear->setAccessibleDescription(
        QStringLiteral("Empties the terminal when a read or write starts"));
    ui.ch_1_0->setAccessibleDescription(QStringLiteral("The value written into each object"));
    ui.txtTerm->setAccessibleDescription(QStringLiteral("What the device sends"));
    QAbstractItemModel *list = ui.List1->model();
    connect(list, &QAbstractItemModel::rowsInserted, this, &WindowAccessibility::showListCount);
    connect(list, &QAbstractItemModel::rowsRemoved, this, &WindowAccessibility::showListCount);
    connect(list, &QAbstractItemModel::modelReset, this, &WindowAccessibility::showListCount);
    showListCount();
    // A button of a window that is no dialog takes Space only; Enter is taken here.
    ui.Command1->installEventFilter(this);
}

void WindowAccessibility::addConnectActions(QMenuBar *bar, QMenu *device) {
    bar->setAccessibleName(QStringLiteral("Menu bar"));
    QAction *first = device->actions().value(0);
    m_connect = new QAction(QStringLiteral("Co&nnect"), device);
    m_connect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));  // opens the port
    m_disconnect = new QAction(QStringLiteral("&Disconnect"), device);
    m_disconnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    device->insertAction(first, m_connect);
    device->insertAction(first, m_disconnect);
    device->insertSeparator(first);
    connect(m_connect, &QAction::triggered, m_ui.imgNotConnected, &LampImage::clicked);
    connect(m_disconnect, &QAction::triggered, m_ui.imgConnected, &LampImage::clicked);
    lampsMoved();
}

void WindowAccessibility::lampsMoved() {
    const bool connected = !behindAnotherLamp(m_ui.imgConnected);
    const std::array<LampImage *, 2> link{m_ui.imgNotConnected, m_ui.imgConnected};
    QWidget *linkFront = nameStack(link, connected ? QStringLiteral("Connection: connected")
                                                   : QStringLiteral("Connection: not connected"));
    announceFrontChange(std::exchange(m_linkFront, linkFront), linkFront);
    int shown = 0;
    while (shown < 3 && behindAnotherLamp(m_ui.Image1[size_t(shown)])) ++shown;
    QWidget *activityFront = nameStack(m_ui.Image1, QString::fromUtf8(kActivity[shown]));
    announceFrontChange(std::exchange(m_activityFront, activityFront), activityFront);
    if (m_connect) m_connect->setEnabled(!connected);
    if (m_disconnect) m_disconnect->setEnabled(connected);
}

void WindowAccessibility::showListCount() {
    const int count = m_ui.List1->count();
    m_ui.List1->setAccessibleDescription(count == 1 ? QStringLiteral("1 object")
                                                    : QStringLiteral("%1 objects").arg(count));
}

bool WindowAccessibility::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_ui.Command1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_ui.Command1->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orvel
