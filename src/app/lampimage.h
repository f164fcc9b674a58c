#pragma once

#include <QLabel>

namespace orvel {

// A picture that reports a click, like the window's lamps.
class LampImage final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

}  // namespace orvel
