#include "cli/objectselection.h"

#include <set>

#include "numbers/objects.h"
#include "numbers/textrules.h"

namespace orvel::cli {
namespace {

std::optional<int> wholeNumber(QStringView text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || text.trimmed().startsWith(u'+')) return std::nullopt;
    return n;
}

QList<int> ascending(const std::set<int> &cells) {
    return QList<int>(cells.begin(), cells.end());
}

}  // namespace

std::optional<QList<int>> parseObjectRanges(QStringView text, int first, int last, QString *error) {
    const auto fail = [&](const QString &why) -> std::optional<QList<int>> {
        *error = why;
        return std::nullopt;
    };
    if (text.trimmed().isEmpty()) return fail(QStringLiteral("no objects are given"));
    std::set<int> cells;
    for (const QStringView part : text.split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const std::optional<int> from = wholeNumber(dash < 0 ? part : part.first(dash));
        const std::optional<int> to = dash < 0 ? from : wholeNumber(part.sliced(dash + 1));
        if (!from || !to)
            return fail(QStringLiteral("'%1' is neither a number nor a range like 30-40")
                            .arg(part.trimmed()));
        if (*from > *to)
            return fail(QStringLiteral("the range %1 runs backwards").arg(part.trimmed()));
        if (*from < first || *to > last)
            return fail(QStringLiteral("%1 lies outside %2 to %3")
                            .arg(part.trimmed())
                            .arg(first)
                            .arg(last));
        for (int cell = *from; cell <= *to; ++cell) cells.insert(cell);
    }
    return ascending(cells);
}

QList<int> objectsOfList(const QStringList &entries) {
    std::set<int> cells;
    for (const QString &entry : entries) {
        const std::optional<std::int64_t> cell = roundHalfEven(valueOf(entry));
        if (cell && objects::isObject(*cell)) cells.insert(int(*cell));
    }
    return ascending(cells);
}

}  // namespace orvel::cli
