#pragma once

#include "progress/transferprogress.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTimer>

#include <chrono>

class QLabel;

namespace orvel {

// The line below the window: the port in use and the device behind it; during a transfer
// the object, n of N, the per cent done and the time left; at the end the time it took;
// and what went wrong with the port or the journal. It never widens the window: a text
// longer than its place ends in "…", and its tooltip holds the whole of it.
class StatusLine final : public QStatusBar {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kNoteTime{4000};
    // A device in a transfer sends a byte at least every few hundred milliseconds.
    static constexpr std::chrono::milliseconds kSilentAfter{3000};

    explicit StatusLine(QWidget *parent = nullptr, std::chrono::milliseconds noteTime = kNoteTime,
                        std::chrono::milliseconds silentAfter = kSilentAfter);

    // Also takes back a lost port's words: the operator has disconnected or connected.
    void showPort(const QString &text);
    // The port went away under us: `port` replaces the port's text, `text` says what to do;
    // both stay until the next showPort.
    void showPortLost(const QString &port, const QString &text);
    void startTransfer(const QString &operation, qint64 total);
    // Shown at most every 100 ms while a fast device runs: a person cannot read faster.
    void objectDone(int object);
    void endTransfer();
    // The device sent something: a transfer it had left waiting shows its progress again.
    void deviceHeard();
    // The port was closed (the transfer gets no more replies) or opened again (the last
    // transfer is over for good): its progress is not shown again.
    void portClosed();
    void portOpened();
    // A value of this transfer that may be the line's: counted, and named at its end.
    void valueInDoubt(int object);
    bool transferRunning() const { return m_running; }
    // A journal that cannot be written: shown until the next transfer.
    void showProblem(const QString &text);
    // About something else (a table saved): shown for a few seconds, then the transfer's
    // progress or its closing time comes back.
    void showNote(const QString &text);

    QString portText() const;
    QString transferText() const;  // what shows now, whole

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void shareLine();
    void setTransferText(const QString &text);
    void showProgress(int object);
    void showEnd();
    void noteOver();
    void checkSilence();

    QLabel *m_port;
    QLabel *m_transfer;
    TransferProgress m_progress;
    QString m_operation;
    QString m_behindNote;  // what shows again once the note is over
    QElapsedTimer m_sinceShown;
    QTimer m_noteTimer;
    QTimer m_silenceCheck;  // runs while a transfer does
    QElapsedTimer m_heard;
    std::chrono::milliseconds m_silentAfter;
    bool m_silent = false;
    bool m_cutOff = false;  // a transfer's end by disconnecting is shown
    int m_lastObject = 0;
    bool m_running = false;
    bool m_ended = false;  // the end of a transfer is shown
    QList<int> m_inDoubt;
    std::chrono::milliseconds m_elapsed{0};
    bool m_portLost = false;
};

}  // namespace orvel
