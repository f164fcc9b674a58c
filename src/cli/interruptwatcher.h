#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orvel::cli {

// Ctrl+C (SIGINT) as a signal on the event loop: the handler only writes a byte into a
// pipe. The first one asks to stop; a second one ends the program at once, as if nothing
// watched. While no watcher lives, SIGINT does what it always does. With `terminate`,
// SIGTERM is watched the same way (a service manager's stop, a script's kill).
class InterruptWatcher final : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject *parent = nullptr) : InterruptWatcher(false, parent) {}
    explicit InterruptWatcher(bool terminate, QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted();

private:
    void onPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_term = false;
};

}  // namespace orvel::cli
