#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace orvel::cli {

// Ctrl+C (SIGINT), SIGTERM (a `timeout`, a shutdown) and SIGHUP (a dropped terminal or SSH
// session) as a signal on the event loop: the handler only writes the signal's number into
// a pipe. The first one asks to stop; a second one of them ends the program at once, as if
// nothing watched. While no watcher lives, they do what they always do; one that the
// program was started with ignored (in the background of a script, under nohup) stays so.
class InterruptWatcher final : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

signals:
    void interrupted(int signal);

private:
    void onPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace orvel::cli
