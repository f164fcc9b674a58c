#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace orvel::cli {

// "1-10,20,30-40": ranges and single numbers, each within first..last. The cells named, in
// ascending order, each once; nothing (and why in `error`) when the text is no such list.
std::optional<QList<int>> parseObjectRanges(QStringView text, int first, int last, QString *error);

// The objects an object number file's entries name, as the window takes them: each entry
// rounded to a whole number (a half to the even one); entries that name no object are
// skipped. Ascending, each once.
QList<int> objectsOfList(const QStringList &entries);

}  // namespace orvel::cli
