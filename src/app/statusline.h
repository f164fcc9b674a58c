#pragma once

#include "progress/transferprogress.h"

#include <QElapsedTimer>
#include <QStatusBar>

class QLabel;

namespace orvel {

// The line below the window: the port in use and the device behind it; during a transfer
// the object, n of N, the per cent done and the time left; at the end the time it took;
// and what went wrong with the port or the journal.
class StatusLine final : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusLine(QWidget *parent = nullptr);

    void showPort(const QString &text);
    void startTransfer(const QString &operation, qint64 total);
    // Shown at most every 100 ms while a fast device runs: a person cannot read faster.
    void objectDone(int object);
    void endTransfer();
    // A value of this transfer that may be the line's: counted, and named at its end.
    void valueInDoubt(int object);
    bool transferRunning() const { return m_running; }
    // A lost port or a journal that cannot be written: shown until the next transfer.
    void showProblem(const QString &text);

    QString portText() const;
    QString transferText() const;

private:
    void showProgress(int object);
    void showEnd();

    QLabel *m_port;
    QLabel *m_transfer;
    TransferProgress m_progress;
    QString m_operation;
    QElapsedTimer m_sinceShown;
    bool m_running = false;
    bool m_ended = false;  // the end of a transfer is shown
    QList<int> m_inDoubt;
    std::chrono::milliseconds m_elapsed{0};
};

}  // namespace orvel
