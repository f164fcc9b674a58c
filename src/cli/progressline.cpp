#include "cli/progressline.h"

namespace orvel::cli {
namespace {

constexpr int kBarWidth = 24;
// A terminal redrawn for every object at --fast would cost more than the transfer.
constexpr std::chrono::milliseconds kRedrawPeriod{100};

}  // namespace

QString progressText(const QString &label, const TransferProgress &progress) {
    const qint64 total = progress.total();
    const int filled = total > 0 ? int(progress.done() * kBarWidth / total) : 0;
    const auto left = progress.timeLeft();
    return QStringLiteral("%1 [%2%3] %4 of %5  %6%  %7")
        .arg(label, QString(filled, u'#'), QString(kBarWidth - filled, u'-'))
        .arg(progress.done())
        .arg(total)
        .arg(progress.percent())
        .arg(left ? durationText(*left) + QStringLiteral(" left") : QString());
}

void ProgressLine::start(const QString &label, qint64 total) {
    m_label = label;
    m_progress.start(total, TransferProgress::Clock::now());
    if (m_shown) draw(TransferProgress::Clock::now());
}

void ProgressLine::objectDone() {
    const auto now = TransferProgress::Clock::now();
    m_progress.objectDone(now);
    if (m_shown && (now - m_drawnAt >= kRedrawPeriod || m_progress.done() == m_progress.total()))
        draw(now);
}

void ProgressLine::finish() {
    if (!m_drawn) return;
    draw(TransferProgress::Clock::now());
    std::fputc('\n', m_out);
    std::fflush(m_out);
    m_drawn = false;
}

void ProgressLine::draw(TransferProgress::Clock::time_point now) {
    const QString text = progressText(m_label, m_progress);
    // Blanks over what a longer line before left behind.
    const QByteArray line = (u'\r' + text.leftJustified(m_width)).toLocal8Bit();
    m_width = text.size();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    std::fflush(m_out);
    m_drawn = true;
    m_drawnAt = now;
}

}  // namespace orvel::cli
