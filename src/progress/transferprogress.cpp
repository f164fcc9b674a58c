#include "progress/transferprogress.h"

#include <algorithm>

namespace orvel {
namespace {

// Weight of the newest object in the smoothed rate: about the last 50 objects count.
constexpr double kSmoothing = 0.04;
// One slow object (a time-out and a second try) counts as this many objects at the pace
// so far: the time left moves by a few per cent, where in full it could double. A device
// that stays slower moves it on with every object.
constexpr double kSlowestCounted = 3.0;

}  // namespace

void TransferProgress::start(qint64 total, Clock::time_point now) {
    m_total = std::max<qint64>(total, 0);
    m_done = 0;
    m_started = m_last = now;
    m_secondsPerObject = 0;
}

void TransferProgress::objectDone(Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - m_last).count();
    m_last = now;
    ++m_done;
    // Until a few objects are in, the plain average is the better guess.
    if (m_done <= 1.0 / kSmoothing)
        m_secondsPerObject = std::chrono::duration<double>(now - m_started).count() / double(m_done);
    else
        m_secondsPerObject += kSmoothing * (std::min(seconds, kSlowestCounted * m_secondsPerObject) -
                                            m_secondsPerObject);
}

int TransferProgress::percent() const {
    if (m_total <= 0) return 0;
    return int(std::min<qint64>(100, m_done * 100 / m_total));
}

std::optional<std::chrono::milliseconds> TransferProgress::timeLeft() const {
    if (m_done == 0 || m_total <= 0) return std::nullopt;
    const double left = m_secondsPerObject * double(std::max<qint64>(0, m_total - m_done));
    return std::chrono::milliseconds(qint64(left * 1000));
}

std::chrono::milliseconds TransferProgress::elapsed(Clock::time_point now) const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - m_started);
}

QString durationText(std::chrono::milliseconds duration) {
    const qint64 seconds = std::max<qint64>(0, (duration.count() + 500) / 1000);
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString approximateText(std::chrono::milliseconds duration) {
    const qint64 seconds = (duration.count() + 500) / 1000;
    if (seconds < 1) return QStringLiteral("less than a second");
    if (seconds == 1) return QStringLiteral("about 1 second");
    if (seconds < 60) return QStringLiteral("about %1 seconds").arg(seconds);
    return QStringLiteral("about ") + durationText(duration);
}

}  // namespace orvel
