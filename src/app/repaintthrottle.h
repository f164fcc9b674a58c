#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace orvel {

// Shows a change of a widget later instead of on the next pass of the event loop: its
// state changes at once, its repaint waits (100 ms at most, as often as a person can read
// it). A fast device moves the object number and the activity lamp thousands of times a
// second, and each repaint would hold an answer back.
class RepaintThrottle final : public QObject {
    Q_OBJECT
public:
    explicit RepaintThrottle(QObject *parent = nullptr);

    void holdRepaint(QWidget *widget);

private:
    QTimer m_timer;
    QList<QPointer<QWidget>> m_held;
};

}  // namespace orvel
