#include "cli/objectselection.h"

#include <optional>
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

Outcome<QList<int>, RangeFailure> parseObjectRanges(QStringView text, int first, int last) {
    if (text.trimmed().isEmpty()) return Failure<RangeFailure>{RangeFailure::Empty, {}};
    std::set<int> cells;
    for (const QStringView part : text.split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const std::optional<int> from = wholeNumber(dash < 0 ? part : part.first(dash));
        const std::optional<int> to = dash < 0 ? from : wholeNumber(part.sliced(dash + 1));
        const auto fail = [&](RangeFailure why) {
            return Failure<RangeFailure>{why, part.trimmed().toString()};
        };
        if (!from || !to) return fail(RangeFailure::NotANumber);
        if (*from > *to) return fail(RangeFailure::Backwards);
        if (*from < first || *to > last) return fail(RangeFailure::OutOfBounds);
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
