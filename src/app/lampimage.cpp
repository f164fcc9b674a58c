#include "app/lampimage.h"

#include <QMouseEvent>

#include <utility>

namespace orvel {

void LampImage::mousePressEvent(QMouseEvent *event) {
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) m_pressed = true;
}

void LampImage::mouseDoubleClickEvent(QMouseEvent *) {
    // Not passed on: Qt would take it for another press. The first click may have put
    // this lamp in front of the one it clicked.
    m_pressed = false;
}

void LampImage::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !std::exchange(m_pressed, false)) return;
    if (rect().contains(event->position().toPoint())) emit clicked();
}

}  // namespace orvel
