#pragma once

#include <QObject>

class QAccessibleEvent;
class QAction;
class QMenu;
class QMenuBar;
class QStatusBar;
class QWidget;

namespace orvel {

struct FrmTerminalUi;

// What the window offers a keyboard and a screen reader beyond its controls as they stand:
// names for the controls without a caption or with one they share, the lamps' meaning as
// names that follow them, and the lamps' clicks as the menu's Connect and Disconnect. It
// changes nothing that is seen or clicked.
class WindowAccessibility final : public QObject {
public:
    // Makes the lamps behind the one in front, and empty fields of a status line, invisible
    // to a screen reader (they show nothing). Before the first control is built.
    static void install();

    WindowAccessibility(FrmTerminalUi &ui, QStatusBar *statusLine, QObject *parent);

    // Device ▸ Connect and Disconnect: each emits its lamp's click, so the lamp's own
    // reaction runs; each is enabled while its lamp is shown.
    void addConnectActions(QMenuBar *bar, QMenu *device);
    // After a connection lamp or an Image1 element was brought to the front.
    void lampsMoved();

    // Where the changes of a lamp's name and visibility go: Qt's accessibility, which hands
    // them to a screen reader while one listens (tests: a recorder).
    using Sink = void (*)(QAccessibleEvent *event);
    static Sink send;

    QAction *connectAction() const { return m_connect; }
    QAction *disconnectAction() const { return m_disconnect; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showListCount();

    FrmTerminalUi &m_ui;
    QAction *m_connect = nullptr;
    QAction *m_disconnect = nullptr;
    QWidget *m_linkFront = nullptr;      // the connection lamp last named
    QWidget *m_activityFront = nullptr;  // the Image1 element last named
};

}  // namespace orvel
