#include "app/statusline.h"

#include <QLabel>

namespace orvel {
namespace {

constexpr qint64 kShowEveryMs = 100;

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
    m_transfer->setText(
        QStringLiteral("%1: %2 objects in %3")
            .arg(m_operation)
            .arg(m_progress.done())
            .arg(durationText(m_progress.elapsed(TransferProgress::Clock::now()))));
}

void StatusLine::showProblem(const QString &text) {
    m_running = false;
    m_transfer->setText(text);
}

QString StatusLine::portText() const { return m_port->text(); }

QString StatusLine::transferText() const { return m_transfer->text(); }

}  // namespace orvel
