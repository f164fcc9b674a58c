// The object number file reader against a plain, independent reading of the same bytes,
// fed whole, in pieces cut at a point the data chooses, and with a small item limit. The
// reading is std::regex and strtod in the C locale, nothing taken from src/.
#include <QByteArrayView>
#include <QStringList>
#include <QStringView>
#include <locale.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <numeric>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "objfile/onfparser.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Any UTF-16 unit outside ASCII becomes this byte, which no pattern below accepts.
constexpr char kForeign = '\x7f';

std::string ascii(QStringView text) {
    std::string out;
    for (const QChar c : text) out += c.unicode() < 0x80 ? char(c.unicode()) : kForeign;
    return out;
}

bool refIsBlank(char c) { return c == ' ' || c == '\t'; }

std::string trimBlanks(const std::string &s) {
    size_t b = 0, e = s.size();
    while (b < e && refIsBlank(s[b])) ++b;
    while (e > b && refIsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A decimal number: sign, digits with at most one point and at least one digit, and an
// optional exponent; blanks (space, tab) allowed at both ends.
bool refIsNumeric(const std::string &s) {
    static const std::regex numeric(
        R"(^[ \t]*[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*$)");
    return std::regex_match(s, numeric);
}

double strtodC(const std::string &s) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(s.c_str(), nullptr, c);
}

bool isSeparator(char c) { return c == ',' || c == '\r' || c == '\n'; }

// Items (text, quoted) are cut at commas, CR and LF outside quotes; a plain item is
// trimmed. A quote that opens an item (after blanks) runs to the next quote; what follows
// it up to the separator is dropped. A quote left open at the end takes the rest.
std::vector<std::pair<std::string, bool>> referenceItems(const std::string &file) {
    std::vector<std::pair<std::string, bool>> items;
    const size_t n = file.size();
    for (size_t i = 0; i < n; ++i) {  // each pass ends on a separator
        while (i < n && refIsBlank(file[i])) ++i;
        if (i == n || isSeparator(file[i])) continue;
        const size_t start = i;
        if (file[i] == '"') {
            i = std::min(file.find('"', i + 1), n);
            items.emplace_back(file.substr(start + 1, i - start - 1), true);
        }
        while (i < n && !isSeparator(file[i])) ++i;
        if (file[start] != '"')
            items.emplace_back(trimBlanks(file.substr(start, i - start)), false);
    }
    return items;
}

// The entries the list gets: numeric items with 0 < value < 8176; a plain item is listed
// as its value's number text, a quoted one as written.
QStringList referenceEntries(const std::string &file, size_t maxItemBytes) {
    QStringList entries;
    for (const auto &[item, quoted] : referenceItems(file)) {
        if (item.size() > maxItemBytes) continue;
        const QString latin1 = QString::fromLatin1(item.data(), qsizetype(item.size()));
        const std::string text = ascii(latin1);
        if (!refIsNumeric(text)) continue;
        const double v = strtodC(trimBlanks(text));
        if (!(v > 0 && v < 8176)) continue;
        if (quoted) {
            entries.append(latin1);
        } else if (v == std::floor(v)) {
            entries.append(QString::number(static_cast<long long>(v)));
        } else {
            char shown[64];
            std::snprintf(shown, sizeof shown, "%.15g", v);
            entries.append(QString::fromLatin1(shown).replace(u'e', u'E'));
        }
    }
    return entries;
}

// The file fed in pieces cut at `cuts`, to a parser that may have read `before` already.
QStringList parsed(const std::string &file, const std::vector<size_t> &cuts,
                   size_t limit = size_t(orvel::OnfParser::defaultMaxItemBytes),
                   const std::string &before = {}) {
    orvel::OnfParser parser{qsizetype(limit)};
    QStringList out;
    if (!before.empty()) {
        parser.feed(QByteArrayView(before.data(), qsizetype(before.size())), out);
        parser.finish(out);
        out.clear();
    }
    size_t from = 0;
    for (const size_t cut : cuts) {
        parser.feed(QByteArrayView(file.data() + from, qsizetype(cut - from)), out);
        from = cut;
    }
    parser.feed(QByteArrayView(file.data() + from, qsizetype(file.size() - from)), out);
    parser.finish(out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const std::string file(reinterpret_cast<const char *>(data), size);
    const QStringList whole = orvel::parseObjectNumbers(QByteArrayView(data, qsizetype(size)));
    check(whole == referenceEntries(file, size_t(-1)));

    // The same entries however the file arrives (cut at points the data picks, or byte by
    // byte), and from a parser that has read a file before.
    std::uint32_t h = 2166136261u;
    for (const char c : file) h = (h ^ std::uint8_t(c)) * 16777619u;
    const size_t a = h % (size + 1);
    const size_t b = a + (h >> 16) % (size - a + 1);
    check(parsed(file, {a, b}) == whole);
    check(parsed(file, {}, size_t(orvel::OnfParser::defaultMaxItemBytes), file) == whole);
    std::vector<size_t> eachByte(std::min<size_t>(size, 256));
    std::iota(eachByte.begin(), eachByte.end(), size_t(1));
    check(size > 256 || parsed(file, eachByte) == whole);
    // An item longer than the limit is dropped, however it arrives.
    const size_t limit = 1 + h % 12;
    const QStringList limited = referenceEntries(file, limit);
    check(parsed(file, {}, limit) == limited && parsed(file, {a, b}, limit) == limited);
    return 0;
}
