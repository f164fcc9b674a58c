#pragma once

// Independent readings of the number rules, for the fuzz targets to hold the program
// against: plain std::regex and strtod in the C locale, nothing taken from src/.

#include <locale.h>

#include <QStringView>
#include <cstdlib>
#include <regex>
#include <string>

namespace orvel::fuzz {

inline void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Any UTF-16 unit outside ASCII becomes this byte, which no pattern below accepts.
constexpr char kForeign = '\x7f';

inline std::string ascii(QStringView text) {
    std::string out;
    for (const QChar c : text) out += c.unicode() < 0x80 ? char(c.unicode()) : kForeign;
    return out;
}

inline bool refIsBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string trimBlanks(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && refIsBlank(s[b])) ++b;
    while (e > b && refIsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A decimal number: sign, digits with at most one point and at least one digit, and an
// optional exponent; blanks (space, tab) allowed at both ends.
inline bool refIsNumeric(const std::string &s) {
    static const std::regex numeric(
        R"(^[ \t]*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*$)");
    return std::regex_match(s, numeric);
}

inline double strtodC(const std::string &s) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(s.c_str(), nullptr, c);
}

}  // namespace orvel::fuzz
