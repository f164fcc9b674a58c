#include "numbers/textrules.h"

#include <array>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace orvel {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isEndBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool isIgnoredInValue(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }

// Parses with the C locale whatever the process locale is (Qt sets the user's).
double parseC(const std::string &number) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(number.c_str(), nullptr, cLocale);
}

}  // namespace

bool isNumeric(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isEndBlank(text[begin])) ++begin;
    while (end > begin && isEndBlank(text[end - 1])) --end;

    qsizetype i = begin;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
    int digits = 0;
    while (i < end && isDigit(text[i])) ++i, ++digits;
    if (i < end && text[i] == u'.') {
        ++i;
        while (i < end && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
        int exponentDigits = 0;
        while (i < end && isDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == end;
}

double valueOf(QStringView text) {
    // Collect the longest leading number, skipping the ignored characters as we go.
    std::string number;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&] {
        while (i < n && isIgnoredInValue(text[i])) ++i;
    };
    skip();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        number += char(text[i].unicode());
        ++i;
        skip();
    }
    bool anyDigit = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isIgnoredInValue(c)) continue;
        if (isDigit(c)) {
            anyDigit = true;
            number += char(c.unicode());
        } else if (c == u'.' && !point) {
            point = true;
            number += '.';
        } else {
            break;
        }
    }
    if (!anyDigit) return 0.0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        // The exponent counts only when it is complete.
        std::string exponent = "e";
        qsizetype j = i + 1;
        auto skipJ = [&] {
            while (j < n && isIgnoredInValue(text[j])) ++j;
        };
        skipJ();
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            exponent += char(text[j].unicode());
            ++j;
        }
        bool exponentDigit = false;
        for (; j < n; ++j) {
            if (isIgnoredInValue(text[j])) continue;
            if (!isDigit(text[j])) break;
            exponentDigit = true;
            exponent += char(text[j].unicode());
        }
        if (exponentDigit) number += exponent;
    }
    return parseC(number);
}

QString numberText(double value) {
    if (value == 0.0) return QStringLiteral("0");  // also -0
    QString text = QString::number(value, 'g', 15);
    text.replace(u'e', u'E');
    return text;
}

std::optional<std::int64_t> roundHalfEven(double value) {
    constexpr double limit = 9007199254740992.0;  // 2^53: every double above is whole
    if (!std::isfinite(value) || std::fabs(value) > limit) return std::nullopt;
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(mode);
    return static_cast<std::int64_t>(rounded);
}

const QString &replyText(quint8 byte) {
    static const std::array<QString, 256> texts = [] {
        std::array<QString, 256> all;
        for (int i = 0; i < 256; ++i) all[size_t(i)] = QString::number(i);
        return all;
    }();
    return texts[byte];
}

}  // namespace orvel
