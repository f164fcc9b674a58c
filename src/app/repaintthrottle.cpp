#include "app/repaintthrottle.h"

#include <chrono>
#include <utility>

namespace orvel {

RepaintThrottle::RepaintThrottle(QObject *parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(std::chrono::milliseconds(100));
    connect(&m_timer, &QTimer::timeout, this, [this] {
        for (const QPointer<QWidget> &widget : std::exchange(m_held, {}))
            if (widget) widget->setUpdatesEnabled(true);  // and repaints it
    });
}

void RepaintThrottle::holdRepaint(QWidget *widget) {
    if (!widget->updatesEnabled()) return;  // already held
    widget->setUpdatesEnabled(false);
    m_held.append(widget);
    if (!m_timer.isActive()) m_timer.start();
}

}  // namespace orvel
