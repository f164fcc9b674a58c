#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "outcome/outcome.h"

namespace orvel::cli {

// Why a text is no list of objects; the words are the part at fault.
enum class RangeFailure { Empty, NotANumber, Backwards, OutOfBounds };

// "1-10,20,30-40": ranges and single numbers, each within first..last. The cells named, in
// ascending order, each once.
Outcome<QList<int>, RangeFailure> parseObjectRanges(QStringView text, int first, int last);

// The objects an object number file's entries name, as the window takes them: each entry
// rounded to a whole number (a half to the even one); entries that name no object are
// skipped. Ascending, each once.
QList<int> objectsOfList(const QStringList &entries);

}  // namespace orvel::cli
