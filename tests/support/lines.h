#pragma once

#include <QByteArray>
#include <QList>

namespace orvel::test {

// `file` with its line `n` (from 1) and the `replaced - 1` after it replaced by `text`, which
// brings its own line end; an empty `text` removes them.
inline QByteArray withLine(const QByteArray &file, int n, const QByteArray &text,
                           int replaced = 1) {
    QList<QByteArray> lines = file.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines) line += '\n';
    lines.remove(n - 1, replaced);
    lines.insert(n - 1, text);
    return lines.join();
}

}  // namespace orvel::test
