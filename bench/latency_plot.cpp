// A picture of answer latencies from simulator logs of one run (--log FILE --log-timestamps):
// on top the histogram (logarithmic bins and counts), below the share of answers slower
// than each latency, where the tail shows as the line that stays up on the right.
//
//   bench_latency_plot OUT.png TITLE NAME=LOG [NAME=LOG...]
//
// Latency as bench_latency_stats counts it: each byte the device receives, minus the time
// of the byte it last sent.
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "answerlog.h"

namespace {

constexpr int kWidth = 1200;
constexpr int kPanelHeight = 380;
constexpr int kLeft = 110, kRight = 30, kTop = 110, kGap = 80, kBottom = 60;
constexpr double kMinUs = 5, kMaxUs = 20'000;  // the x axis, logarithmic
constexpr int kBinsPerDecade = 20;

struct Series {
    QString name;
    std::vector<long long> latencies;  // sorted
    long long at(double q) const {
        return latencies[size_t(q * double(latencies.size() - 1) + 0.5)];
    }
};

// The name of a chart's y axis, written upwards beside it.
void yLabel(QPainter &p, double top, double bottom, const QString &text) {
    p.save();
    p.translate(16, (top + bottom) / 2.0);
    p.rotate(-90);
    p.drawText(QRectF(-150, -10, 300, 20), Qt::AlignCenter, text);
    p.restore();
}

bool readLog(const char *path, std::vector<long long> &out) {
    if (!readAnswerLatencies(path, out)) return false;
    std::sort(out.begin(), out.end());
    return !out.empty();
}

double xOf(double us) {
    const double clamped = std::clamp(us, kMinUs, kMaxUs);
    return kLeft + (kWidth - kLeft - kRight) * std::log10(clamped / kMinUs) /
                       std::log10(kMaxUs / kMinUs);
}

void xAxis(QPainter &p, int bottom, int top) {
    p.setPen(QColor(210, 210, 210));
    for (double decade = 1; decade <= kMaxUs; decade *= 10)
        for (int m = 1; m <= 9; ++m) {
            const double us = decade * m;
            if (us < kMinUs || us > kMaxUs) continue;
            p.setPen(m == 1 ? QColor(170, 170, 170) : QColor(230, 230, 230));
            p.drawLine(QPointF(xOf(us), top), QPointF(xOf(us), bottom));
        }
    p.setPen(Qt::black);
    p.drawLine(kLeft, bottom, kWidth - kRight, bottom);
    for (const double us : {5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0,
                            10000.0, 20000.0}) {
        const QString label = us >= 1000 ? QString::number(us / 1000) + " ms"
                                         : QString::number(us) + " µs";
        p.drawText(QRectF(xOf(us) - 40, bottom + 4, 80, 20), Qt::AlignCenter, label);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUT.png TITLE NAME=LOG [NAME=LOG...]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::vector<Series> series;
    for (int i = 3; i < argc; ++i) {
        const char *eq = std::strchr(argv[i], '=');
        if (!eq) return 2;
        Series s{QString::fromUtf8(argv[i], int(eq - argv[i])), {}};
        if (!readLog(eq + 1, s.latencies)) {
            std::fprintf(stderr, "no answered bytes in %s\n", eq + 1);
            return 1;
        }
        series.push_back(std::move(s));
    }
    const QColor colours[] = {QColor(200, 30, 30), QColor(30, 110, 200), QColor(20, 150, 60),
                              QColor(150, 90, 0)};

    const int height = kTop + 2 * kPanelHeight + kGap + kBottom;
    QImage image(kWidth, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    QFont bold = font;
    bold.setPixelSize(16);
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRectF(0, 8, kWidth, 24), Qt::AlignCenter, QString::fromUtf8(argv[2]));
    p.setFont(font);

    // Histogram: answers per bin, logarithmic count axis.
    const int histTop = kTop, histBottom = kTop + kPanelHeight;
    const int bins = int(std::ceil(std::log10(kMaxUs / kMinUs) * kBinsPerDecade));
    auto binOf = [&](long long us) {
        const double v = std::clamp(double(us), kMinUs, kMaxUs * 0.999);
        return int(std::log10(v / kMinUs) * kBinsPerDecade);
    };
    std::vector<std::vector<long long>> counts;
    long long maxCount = 1;
    for (const Series &s : series) {
        std::vector<long long> c(size_t(bins), 0);
        for (long long us : s.latencies) ++c[size_t(binOf(us))];
        maxCount = std::max(maxCount, *std::max_element(c.begin(), c.end()));
        counts.push_back(std::move(c));
    }
    const double countDecades = std::ceil(std::log10(double(maxCount)) + 0.01);
    auto yCount = [&](double n) {
        const double v = n < 1 ? 0 : (std::log10(n) + 0.3) / (countDecades + 0.3);
        return histBottom - (histBottom - histTop) * v;
    };
    for (int d = 0; d <= int(countDecades); ++d) {
        const double y = yCount(std::pow(10.0, d));
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(kLeft, y), QPointF(kWidth - kRight, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - 10, kLeft - 8, 20), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(qint64(std::pow(10.0, d))));
    }
    xAxis(p, histBottom, histTop);
    yLabel(p, histTop, histBottom, "answers per bin");
    for (size_t i = 0; i < series.size(); ++i) {
        QPainterPath path;
        path.moveTo(xOf(kMinUs), histBottom);
        for (int b = 0; b < bins; ++b) {
            const double x0 = kLeft + (kWidth - kLeft - kRight) * double(b) / bins;
            const double x1 = kLeft + (kWidth - kLeft - kRight) * double(b + 1) / bins;
            const double y = counts[i][size_t(b)] ? yCount(double(counts[i][size_t(b)]))
                                                  : histBottom;
            path.lineTo(x0, y);
            path.lineTo(x1, y);
        }
        path.lineTo(xOf(kMaxUs), histBottom);
        p.setPen(QPen(colours[i % 4], 2));
        p.drawPath(path);
    }

    // Share slower than x: 1 down to one answer in the run, logarithmic.
    const int tailTop = histBottom + kGap, tailBottom = tailTop + kPanelHeight;
    size_t most = 1;
    for (const Series &s : series) most = std::max(most, s.latencies.size());
    const double shareDecades = std::ceil(std::log10(double(most)));
    auto yShare = [&](double share) {
        const double v = std::log10(std::max(share, std::pow(10.0, -shareDecades)));
        return tailTop + (tailBottom - tailTop) * (-v / shareDecades);
    };
    for (int d = 0; d <= int(shareDecades); ++d) {
        const double y = yShare(std::pow(10.0, -d));
        const bool p99 = d == 2;
        p.setPen(p99 ? QPen(QColor(120, 120, 120), 1, Qt::DashLine) : QPen(QColor(225, 225, 225)));
        p.drawLine(QPointF(kLeft, y), QPointF(kWidth - kRight, y));
        p.setPen(Qt::black);
        const QString label = d == 0 ? QStringLiteral("all")
                              : p99  ? QStringLiteral("1 % (p99)")
                                     : "1/" + QString::number(qint64(std::pow(10.0, d)));
        p.drawText(QRectF(0, y - 10, kLeft - 8, 20), Qt::AlignRight | Qt::AlignVCenter, label);
    }
    xAxis(p, tailBottom, tailTop);
    yLabel(p, tailTop, tailBottom, "share of answers slower");
    p.drawText(QRectF(0, tailBottom + 24, kWidth, 20), Qt::AlignCenter,
               "answer latency: the device's byte out to our answer in, as the device sees it");
    for (size_t i = 0; i < series.size(); ++i) {
        const Series &s = series[i];
        QPainterPath path;
        const double n = double(s.latencies.size());
        path.moveTo(xOf(double(s.latencies.front())), yShare(1));
        for (size_t k = 0; k < s.latencies.size(); ++k) {
            if (k + 1 < s.latencies.size() && s.latencies[k + 1] == s.latencies[k]) continue;
            const double x = xOf(double(s.latencies[k]));
            path.lineTo(x, path.currentPosition().y());
            path.lineTo(x, yShare((n - double(k + 1)) / n));
        }
        p.setPen(QPen(colours[i % 4], 2));
        p.drawPath(path);
        // The p99 mark on the histogram's axis.
        const double x99 = xOf(double(s.at(0.99)));
        p.drawLine(QPointF(x99, histBottom - 14), QPointF(x99, histBottom));
    }

    // Legend under the title, with each series' p50, p99 and max (the ticks below the
    // histogram mark each p99).
    int y = 36;
    for (size_t i = 0; i < series.size(); ++i) {
        const Series &s = series[i];
        p.setPen(QPen(colours[i % 4], 3));
        p.drawLine(kLeft, y + 9, kLeft + 30, y + 9);
        p.setPen(Qt::black);
        p.drawText(QRectF(kLeft + 38, y, 700, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1: %2 answers, p50 %3 µs, p99 %4 µs, max %5 µs")
                       .arg(s.name)
                       .arg(s.latencies.size())
                       .arg(s.at(0.50))
                       .arg(s.at(0.99))
                       .arg(s.latencies.back()));
        y += 20;
    }
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
