#include "app/statusline.h"

#include <QLabel>

namespace orvel {
namespace {

constexpr qint64 kShowEveryMs = 100;
constexpr qsizetype kDoubtsNamed = 3;

}  // namespace

StatusLine::StatusLine(QWidget *parent)
    : QStatusBar(parent), m_port(new QLabel(this)), m_transfer(new QLabel(this)) {
    setObjectName(QStringLiteral("statusLine"));
    setSizeGripEnabled(false);
    addWidget(m_port);
    addWidget(m_transfer, 1);
    m_transfer->setTextFormat(Qt::PlainText);
}

void StatusLine::showPort(const QString &text) { m_port->setText(text); }

void StatusLine::startTransfer(const QString &operation, qint64 total) {
    m_operation = operation;
    m_running = true;
    m_ended = false;
    m_inDoubt.clear();
    m_progress.start(total, TransferProgress::Clock::now());
    m_transfer->setText(QStringLiteral("%1: 0 of %2").arg(operation).arg(total));
    m_sinceShown.start();
}

void StatusLine::objectDone(int object) {
    if (!m_running) return;
    m_progress.objectDone(TransferProgress::Clock::now());
    if (m_sinceShown.elapsed() >= kShowEveryMs || m_progress.done() == m_progress.total())
        showProgress(object);
}

void StatusLine::showProgress(int object) {
    m_sinceShown.restart();
    QString text = QStringLiteral("%1: object %2, %3 of %4, %5 %")
                       .arg(m_operation, QString::number(object))
                       .arg(m_progress.done())
                       .arg(m_progress.total())
                       .arg(m_progress.percent());
    if (const auto left = m_progress.timeLeft())
        text += QStringLiteral(", %1 left").arg(durationText(*left));
    m_transfer->setText(text);
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
    QString text = QStringLiteral("%1: %2 objects in %3")
                       .arg(m_operation)
                       .arg(m_progress.done())
                       .arg(durationText(m_elapsed));
    if (!m_inDoubt.isEmpty()) {
        QStringList named;
        for (int object : m_inDoubt.first(std::min<qsizetype>(kDoubtsNamed, m_inDoubt.size())))
            named.append(QString::number(object));
        if (m_inDoubt.size() > kDoubtsNamed) named.append(QStringLiteral("…"));
        text += QStringLiteral("; %1 in doubt (the line added a byte), not kept: read %2 %3 "
                               "again")
                    .arg(m_inDoubt.size() == 1 ? QStringLiteral("1 value")
                                               : QStringLiteral("%1 values").arg(m_inDoubt.size()))
                    .arg(m_inDoubt.size() == 1 ? QStringLiteral("object") : QStringLiteral("objects"))
                    .arg(named.join(QStringLiteral(", ")));
    }
    m_transfer->setText(text);
}

void StatusLine::showProblem(const QString &text) {
    m_running = false;
    m_ended = false;
    m_transfer->setText(text);
}

QString StatusLine::portText() const { return m_port->text(); }

QString StatusLine::transferText() const { return m_transfer->text(); }

}  // namespace orvel
