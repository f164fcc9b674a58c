#pragma once

// Independent readings of the number rules, for the fuzz targets to hold the program
// against: plain std::regex and strtod in the C locale, nothing taken from src/.
#include <locale.h>

#include <QStringView>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
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

// The value of any text: spaces, tabs and line feeds anywhere are ignored; the longest
// leading number counts; no leading number is worth 0.
inline double refValueOf(const std::string &s) {
    std::string packed;
    for (const char c : s)
        if (c != ' ' && c != '\t' && c != '\n') packed += c;
    static const std::regex leading(R"(^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)");
    std::smatch m;
    return std::regex_search(packed, m, leading) ? strtodC(m.str(0)) : 0.0;
}

// Nearest whole number, halves to even, as addresses are made; empty when none fits.
inline std::optional<std::int64_t> refAddressOf(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 0x1p62) return std::nullopt;
    double whole = std::floor(v);
    const double fraction = v - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    return std::int64_t(whole);
}

inline bool sameDouble(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

}  // namespace orvel::fuzz
