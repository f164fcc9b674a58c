#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// The rules by which this program turns texts into numbers and numbers into texts.
// C locale forms only: a decimal point, no digit groups, ASCII digits.
namespace orvel {

// True when the text, with blanks at either end ignored, is one decimal number:
// an optional sign, digits with at most one decimal point (at least one digit),
// and an optional exponent (E or e, an optional sign, digits).
bool isNumeric(QStringView text);

// The value of a text: blanks, tabs and line feeds anywhere are ignored, and the
// longest leading decimal number gives the value; a text that does not begin with
// a number is worth 0. Out-of-range numbers come back as +-infinity or 0, never UB.
double valueOf(QStringView text);

// The decimal text of a number: 1, 8191, 2.5, -3, 1E+20; no leading blank.
QString numberText(double value);

// The nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Empty for a value that is not finite or is too large to be a whole number here.
std::optional<std::int64_t> roundHalfEven(double value);

// The decimal text of a received byte: "0" to "255", made once for each value.
const QString &replyText(quint8 byte);

}  // namespace orvel
