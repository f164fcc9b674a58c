#pragma once

#include <QString>
#include <cstdio>

#include "progress/transferprogress.h"

namespace orvel::cli {

// "Reading [#####-----] 1234 of 8175  15%  0:42 left"
QString progressText(const QString &label, const TransferProgress &progress);

// The progress of a transfer on one line of standard error, rewritten in place; only when
// it is a terminal and the operator did not ask for quiet.
class ProgressLine {
public:
    explicit ProgressLine(bool shown, std::FILE *out = stderr) : m_shown(shown), m_out(out) {}

    void start(const QString &label, qint64 total);
    void objectDone();
    // Leaves the last state on its line, and the cursor on the next.
    void finish();

private:
    void draw(TransferProgress::Clock::time_point now);

    bool m_shown;
    std::FILE *m_out;
    bool m_drawn = false;
    QString m_label;
    TransferProgress m_progress;
    TransferProgress::Clock::time_point m_drawnAt;
    qsizetype m_width = 0;
};

}  // namespace orvel::cli
