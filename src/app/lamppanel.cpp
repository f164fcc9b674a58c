#include "app/lamppanel.h"

#include "app/accessibility.h"
#include "app/frmterminalui.h"
#include "app/lampimage.h"
#include "app/repaintthrottle.h"

namespace orvel {

void LampPanel::bringLampToFront(LampImage *lamp) {
    LampImage *behind = lamp == m_ui.imgConnected ? m_ui.imgNotConnected : m_ui.imgConnected;
    lamp->raise();
    lamp->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    behind->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_access.lampsMoved();
}

void LampPanel::bringImage1ToFront(int index, bool atNextFrame) {
    if (index == m_image1Front) return;  // raising costs a repaint; most bytes change nothing
    if (atNextFrame) m_throttle.holdRepaint(m_ui.Image1[index]);
    m_ui.Image1[index]->raise();
    m_image1Front = index;
    m_access.lampsMoved();
}

}  // namespace orvel
