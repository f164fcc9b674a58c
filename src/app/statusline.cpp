#include "app/statusline.h"

#include <QLabel>

#include "table/restoreplan.h"

#include <algorithm>
#include <utility>

namespace orvel {
namespace {

constexpr qint64 kShowEveryMs = 100;
constexpr qsizetype kDoubtsNamed = 3;

// The port's text keeps at least this share of the line against a long transfer text.
constexpr double kPortShare = 0.35;

// A text in the place the line gives it, never asking for more: what does not fit is cut
// with "…" (where `elide` says), and the tooltip holds the whole text.
class FittedLabel final : public QLabel {
public:
    FittedLabel(QWidget *parent, Qt::TextElideMode elide) : QLabel(parent), m_elide(elide) {
        setTextFormat(Qt::PlainText);
    }
    void setWhole(const QString &text) {
        if (text == m_whole) return;
        m_whole = text;
        updateGeometry();
        fit();
    }
    const QString &whole() const { return m_whole; }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(m_whole) + 2 * margin() + 4,
                QLabel::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent *event) override {
        QLabel::resizeEvent(event);
        fit();
    }

private:
    void fit() {
        const QString shown =
            fontMetrics().elidedText(m_whole, m_elide, contentsRect().width());
        setText(shown);
        setToolTip(shown == m_whole ? QString() : m_whole);
    }

    QString m_whole;
    Qt::TextElideMode m_elide;
};

FittedLabel *fitted(QLabel *label) { return static_cast<FittedLabel *>(label); }

}  // namespace

StatusLine::StatusLine(QWidget *parent, std::chrono::milliseconds noteTime,
                       std::chrono::milliseconds silentAfter)
    : QStatusBar(parent), m_port(new FittedLabel(this, Qt::ElideMiddle)),
      m_transfer(new FittedLabel(this, Qt::ElideRight)), m_silentAfter(silentAfter) {
    setObjectName(QStringLiteral("statusLine"));
    setSizeGripEnabled(false);
    // The window's width is the client area's: no text here may change it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    addWidget(m_port);
    addWidget(m_transfer, 1);
    m_noteTimer.setSingleShot(true);
    m_noteTimer.setInterval(noteTime);
    connect(&m_noteTimer, &QTimer::timeout, this, &StatusLine::noteOver);
    m_silenceCheck.setInterval(std::max(silentAfter / 4, std::chrono::milliseconds(10)));
    connect(&m_silenceCheck, &QTimer::timeout, this, &StatusLine::checkSilence);
}

// The port's text takes what the transfer's leaves, but at least its share when it needs it;
// the transfer's takes the rest.
void StatusLine::shareLine() {
    const int line = width() - 16;  // the margins and the space between the two
    const int left = line - m_transfer->sizeHint().width();
    const int port = std::min(m_port->sizeHint().width(), std::max(int(line * kPortShare), left));
    m_port->setFixedWidth(std::max(port, 0));
}

void StatusLine::resizeEvent(QResizeEvent *event) {
    QStatusBar::resizeEvent(event);
    shareLine();
}

void StatusLine::showPort(const QString &text) {
    fitted(m_port)->setWhole(text);
    if (std::exchange(m_portLost, false) && !m_running) setTransferText({});
    shareLine();
}

void StatusLine::showPortLost(const QString &port, const QString &text) {
    fitted(m_port)->setWhole(port);
    showProblem(text);
    m_portLost = true;
}

void StatusLine::setTransferText(const QString &text) {
    m_noteTimer.stop();
    m_cutOff = false;
    m_silent = false;
    if (!m_running) m_silenceCheck.stop();
    fitted(m_transfer)->setWhole(text);
    shareLine();
}

void StatusLine::startTransfer(const QString &operation, qint64 total) {
    m_operation = operation;
    m_running = true;
    m_ended = false;
    m_inDoubt.clear();
    m_progress.start(total, TransferProgress::Clock::now());
    m_lastObject = 0;
    setTransferText(QStringLiteral("%1: 0 of %2").arg(operation).arg(total));
    m_sinceShown.start();
    m_heard.start();
    m_silenceCheck.start();
}

void StatusLine::objectDone(int object) {
    if (!m_running) return;
    m_progress.objectDone(TransferProgress::Clock::now());
    m_lastObject = object;
    if (m_noteTimer.isActive()) return;  // the progress comes back when the note is over
    if (m_sinceShown.elapsed() >= kShowEveryMs || m_progress.done() == m_progress.total())
        showProgress(object);
}

void StatusLine::showProgress(int object) {
    m_sinceShown.restart();
    if (object == 0) {
        setTransferText(QStringLiteral("%1: 0 of %2").arg(m_operation).arg(m_progress.total()));
        return;
    }
    QString text = QStringLiteral("%1: object %2, %3 of %4, %5 %")
                       .arg(m_operation, QString::number(object))
                       .arg(m_progress.done())
                       .arg(m_progress.total())
                       .arg(m_progress.percent());
    if (const auto left = m_progress.timeLeft())
        text += QStringLiteral(", %1 left").arg(durationText(*left));
    setTransferText(text);
}

void StatusLine::endTransfer() {
    if (!m_running) return;
    m_running = false;
    m_ended = true;
    m_elapsed = m_progress.elapsed(TransferProgress::Clock::now());
    showEnd();
}

// The doubt about the last value comes with the device's next byte, after the end.
void StatusLine::valueInDoubt(int object) {
    m_inDoubt.append(object);
    if (m_ended) showEnd();
}

void StatusLine::showEnd() {
    QString text = QStringLiteral("%1: %2 in %3")
                       .arg(m_operation)
                       .arg(plan::objectsText(int(m_progress.done())))
                       .arg(durationText(m_elapsed));
    if (!m_inDoubt.isEmpty()) {
        QStringList named;
        for (int object : m_inDoubt.first(std::min<qsizetype>(kDoubtsNamed, m_inDoubt.size())))
            named.append(QString::number(object));
        if (m_inDoubt.size() > kDoubtsNamed) named.append(QStringLiteral("…"));
        text += QStringLiteral("; %1 in doubt (a byte too many), not kept: read %2 %3 "
                               "again")
                    .arg(m_inDoubt.size() == 1 ? QStringLiteral("1 value")
                                               : QStringLiteral("%1 values").arg(m_inDoubt.size()))
                    .arg(m_inDoubt.size() == 1 ? QStringLiteral("object") : QStringLiteral("objects"))
                    .arg(named.join(QStringLiteral(", ")));
    }
    setTransferText(text);
}

void StatusLine::showProblem(const QString &text) {
    m_running = false;
    m_ended = false;
    setTransferText(text);
}

void StatusLine::showNote(const QString &text) {
    if (!m_noteTimer.isActive()) m_behindNote = transferText();
    fitted(m_transfer)->setWhole(text);
    shareLine();
    m_noteTimer.start();
}

void StatusLine::deviceHeard() {
    m_heard.start();
    if (m_silent && m_running) showProgress(m_lastObject);
}

// Said in place of the progress, which comes back with the device's next byte.
void StatusLine::checkSilence() {
    if (!m_running || m_noteTimer.isActive() || !m_heard.isValid()) return;
    const qint64 quiet = m_heard.elapsed();
    if (quiet < m_silentAfter.count()) return;
    const QString where =
        m_lastObject > 0 ? QStringLiteral(" after object %1, %2 of %3")
                               .arg(m_lastObject)
                               .arg(m_progress.done())
                               .arg(m_progress.total())
                         : QString();
    setTransferText(QStringLiteral("%1: nothing from the device for %2 s%3. Check the cable, that "
                                   "the device is switched on, and that it is on this port.")
                        .arg(m_operation)
                        .arg(quiet / 1000)
                        .arg(where));
    m_silent = true;
}

void StatusLine::portClosed() {
    if (!m_running) return;
    m_running = false;
    setTransferText(QStringLiteral("%1: disconnected after %2 of %3 objects.")
                        .arg(m_operation)
                        .arg(m_progress.done())
                        .arg(m_progress.total()));
    m_cutOff = true;
}

void StatusLine::portOpened() {
    if (!m_running && !m_ended && !m_cutOff) return;  // a problem or a note stays
    m_running = false;
    m_ended = false;
    setTransferText({});
}

void StatusLine::noteOver() {
    if (m_running && m_progress.done() > 0)
        showProgress(m_lastObject);
    else
        setTransferText(m_behindNote);
}

QString StatusLine::portText() const { return fitted(m_port)->whole(); }

QString StatusLine::transferText() const { return fitted(m_transfer)->whole(); }

}  // namespace orvel
