#pragma once

namespace orvel {

class LampImage;
class RepaintThrottle;
class WindowAccessibility;
struct FrmTerminalUi;

// The connection lamps and the four activity pictures of Image1, stacked in place: the one
// in front is the one seen.
class LampPanel {
public:
    LampPanel(FrmTerminalUi &ui, WindowAccessibility &access, RepaintThrottle &throttle)
        : m_ui(ui), m_access(access), m_throttle(throttle) {}

    // Brings element `index` of Image1 in front of the others; `atNextFrame`: its repaint
    // waits for the throttle.
    void bringImage1ToFront(int index, bool atNextFrame = false);
    // Brings one connection lamp in front of the other. The lamp behind is also taken
    // out of reach: it is a pixel larger, and a click on its edge would toggle the port
    // the wrong way (opening it without the connect steps).
    void bringLampToFront(LampImage *lamp);

private:
    FrmTerminalUi &m_ui;
    WindowAccessibility &m_access;
    RepaintThrottle &m_throttle;
    int m_image1Front = -1;
};

}  // namespace orvel
