// The object number file reader against a plain, independent reading of the same bytes,
// fed whole, in pieces cut at a point the data chooses, and with a small item limit.
#include <QByteArrayView>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "objfile/onfparser.h"
#include "reference.h"

namespace {

using namespace orvel::fuzz;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Item {
    std::string text;  // a plain item trimmed; a quoted one as between its quotes
    bool quoted = false;
};

bool isSeparator(char c) {
    return c == ',' || c == '\r' || c == '\n';
}

// Items are cut at commas, CR and LF outside quotes. A quote that opens an item (after
// blanks) runs to the next quote; what follows it up to the separator is dropped. A quote
// left open at the end takes the rest of the file.
std::vector<Item> referenceItems(const std::string &file) {
    std::vector<Item> items;
    size_t i = 0;
    const size_t n = file.size();
    while (i < n) {
        while (i < n && refIsBlank(file[i])) ++i;
        if (i == n) break;
        if (isSeparator(file[i])) {
            ++i;
            continue;
        }
        Item item;
        if (file[i] == '"') {
            const size_t close = file.find('"', i + 1);
            item.quoted = true;
            if (close == std::string::npos) {
                item.text = file.substr(i + 1);
                i = n;
            } else {
                item.text = file.substr(i + 1, close - i - 1);
                i = close + 1;
                while (i < n && !isSeparator(file[i])) ++i;
                ++i;
            }
        } else {
            size_t stop = i;
            while (stop < n && !isSeparator(file[stop])) ++stop;
            item.text = trimBlanks(file.substr(i, stop - i));
            i = stop + 1;
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::string asciiBytes(const std::string &latin1) {
    std::string out = latin1;
    for (char &c : out)
        if (static_cast<unsigned char>(c) >= 0x80) c = kForeign;
    return out;
}

// The entries the list gets: numeric items with 0 < value < 8176; a plain item is listed
// as its value's number text, a quoted one as written.
QStringList referenceEntries(const std::string &file, size_t maxItemBytes) {
    QStringList entries;
    for (const Item &item : referenceItems(file)) {
        if (item.text.size() > maxItemBytes) continue;
        const std::string text = asciiBytes(item.text);
        if (!refIsNumeric(text)) continue;
        const double v = strtodC(trimBlanks(text));
        if (!(v > 0 && v < 8176)) continue;
        if (item.quoted) {
            entries.append(QString::fromLatin1(item.text.data(), qsizetype(item.text.size())));
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

QStringList parsed(const std::string &file, std::initializer_list<size_t> cuts,
                   qsizetype maxItemBytes = orvel::OnfParser::defaultMaxItemBytes) {
    orvel::OnfParser parser(maxItemBytes);
    QStringList out;
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

    const QStringList whole =
        orvel::parseObjectNumbers(QByteArrayView(file.data(), qsizetype(size)));
    for (const QString &entry : whole) {
        const std::string text = ascii(entry);
        check(refIsNumeric(text));
        const double v = strtodC(trimBlanks(text));
        check(v > 0 && v < 8176);
    }
    check(whole == referenceEntries(file, size_t(-1)));

    // The same entries however the file arrives: cut at points the data picks.
    std::uint32_t h = 2166136261u;
    for (const char c : file) h = (h ^ std::uint8_t(c)) * 16777619u;
    const size_t a = size ? h % (size + 1) : 0;
    const size_t b = size ? a + (h >> 16) % (size - a + 1) : 0;
    check(parsed(file, {a}) == whole);
    check(parsed(file, {a, b}) == whole);
    if (size <= 256) {
        orvel::OnfParser parser;
        QStringList out;
        for (size_t i = 0; i < size; ++i) parser.feed(QByteArrayView(file.data() + i, 1), out);
        parser.finish(out);
        check(out == whole);
    }

    // An item longer than the limit is dropped, however it arrives.
    const size_t limit = 1 + h % 12;
    const QStringList limited = referenceEntries(file, limit);
    check(parsed(file, {}, qsizetype(limit)) == limited);
    check(parsed(file, {a, b}, qsizetype(limit)) == limited);

    // One parser reads file after file.
    orvel::OnfParser again;
    QStringList twice;
    again.feed(QByteArrayView(file.data(), qsizetype(size)), twice);
    again.finish(twice);
    again.feed(QByteArrayView(file.data(), qsizetype(size)), twice);
    again.finish(twice);
    check(twice == whole + whole);
    return 0;
}
