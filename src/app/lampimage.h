#pragma once

#include <QLabel>

namespace orvel {

// A picture that reports a click, like the window's lamps. The second press of a
// double-click is no click: a double-click toggles once.
class LampImage final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;  // the left button went down here as a single press
};

}  // namespace orvel
