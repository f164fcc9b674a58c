#include "app/lampimage.h"

#include <QMouseEvent>

namespace orvel {

void LampImage::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

}  // namespace orvel
