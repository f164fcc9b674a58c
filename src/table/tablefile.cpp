#include "table/tablefile.h"

#include <QDate>
#include <QTime>
#include <array>
#include <charconv>
#include <climits>
#include <cstdio>

namespace orvel {
namespace {

constexpr QByteArrayView kTitle = "# Orvel device table";
constexpr QByteArrayView kColumns = "object,value";
constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";
constexpr QByteArrayView kTimeExample = "2026-12-07T05:12:00Z";

enum Key { Read, Port, ProfileKey, Settings, KeyCount };
constexpr std::array<QByteArrayView, KeyCount> kKeys = {"read", "port", "profile", "settings"};
constexpr QByteArrayView kVersionMark = ", version ";
constexpr qsizetype kMaxProfileName = 100;  // characters, as the profile file allows
constexpr qsizetype kMaxProfileVersion = 40;

constexpr int kMaxDigits = 9;     // longer numbers are out of every range, and would overflow
constexpr int kShownDigits = 12;  // of a long number quoted in a reason

QLatin1String latin(QByteArrayView text) {
    return QLatin1String(text.data(), text.size());
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

QString shown(QByteArrayView digits) {
    if (digits.size() <= kShownDigits) return QString::fromLatin1(digits);
    return QString::fromLatin1(digits.first(kShownDigits)) + QStringLiteral("...");
}

Failure<TableFault> fault(TableFault why, const QString &words) {
    return {why, words};
}

// A number as the file writes it: decimal digits, no leading zero.
Outcome<int, TableFault> number(QByteArrayView token, const QString &what) {
    const auto bad = [](const QString &words) { return fault(TableFault::BadNumber, words); };
    if (token.isEmpty()) return bad(what + QStringLiteral(" is missing"));
    if (token.contains(' ') || token.contains('\t'))
        return bad(QStringLiteral("blanks are not allowed"));
    if (token.front() == '+' || token.front() == '-')
        return bad(QStringLiteral("signs are not allowed"));
    for (const char c : token)
        if (!isDigit(c)) return bad(what + QStringLiteral(" is not a decimal number"));
    if (token.size() > 1 && token.front() == '0')
        return bad(QStringLiteral("%1 has a leading zero").arg(shown(token)));
    int value = INT_MAX;
    if (token.size() <= kMaxDigits) std::from_chars(token.begin(), token.end(), value);
    return value;
}

Done<TableFault> portProblem(const QString &port) {
    if (port.isEmpty()) return fault(TableFault::BadPort, QStringLiteral("the port name is empty"));
    for (const QChar c : port)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return fault(TableFault::BadPort,
                         QStringLiteral("the port name holds a control character"));
    return {};
}

// The profile a table was saved under, as the profile file allows its name and version.
Done<TableFault> profileNameProblem(const QString &name, const QString &version) {
    const auto bad = [](const QString &words) { return fault(TableFault::BadProfile, words); };
    if (name.isEmpty() && version.isEmpty()) return {};
    if (name.isEmpty()) return bad(QStringLiteral("the profile's name is empty"));
    if (name.size() > kMaxProfileName)
        return bad(QStringLiteral("the profile's name is longer than %1 characters")
                       .arg(kMaxProfileName));
    if (name.front().isSpace() || name.back().isSpace())
        return bad(QStringLiteral("the profile's name begins or ends with a blank"));
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return bad(QStringLiteral("the profile's name holds a control character"));
    if (QString::fromUtf8(name.toUtf8()) != name)
        return bad(QStringLiteral("the profile's name is not valid Unicode"));
    bool versionOk = !version.isEmpty() && version.size() <= kMaxProfileVersion;
    for (const QChar c : version)
        versionOk = versionOk && c.unicode() < 0x80 &&
                    (c.isLetterOrNumber() || QStringView(u".-_+").contains(c));
    if (!versionOk)
        return bad(QStringLiteral("the profile's version is 1 to %1 letters, digits and . - _ +")
                       .arg(kMaxProfileVersion));
    return {};
}

void appendNumber(QByteArray &out, int n) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end - digits);
}

// Reads a file line by line; a line gets at most one rejection, its first fault.
class Reader {
public:
    explicit Reader(QByteArrayView file) : m_file(file) {}
    ParseResult read();

private:
    void line(QByteArrayView text);
    void header(QByteArrayView text);
    void columns();
    void readTime(QByteArrayView value);
    void port(QByteArrayView value);
    void profile(QByteArrayView value);
    void settings(QByteArrayView value);
    void row(QByteArrayView text);
    void reject(const QString &why);

    enum class Part { Title, Header, Rows };

    QByteArrayView m_file;
    qsizetype m_line = 0;
    Part m_part = Part::Title;
    std::array<qsizetype, KeyCount> m_keyLine{};  // 0 until the key is seen
    int m_lastKey = -1;
    int m_lastObject = 0;
    std::vector<qsizetype> m_objectLine;  // object -> its line, 0 when not (yet) accepted
    qsizetype m_lastRejected = 0;
    Table m_table;
    ParseResult m_result;
};

ParseResult Reader::read() {
    if (m_file.isEmpty()) {
        m_line = 1;
        reject(QStringLiteral("the file is empty"));
    }
    qsizetype at = 0;
    while (at < m_file.size()) {
        ++m_line;
        const qsizetype lf = m_file.indexOf('\n', at);
        const qsizetype end = lf < 0 ? m_file.size() : lf;
        const QByteArrayView text = m_file.sliced(at, end - at);
        at = end + 1;
        if (text.endsWith('\r'))
            reject(QStringLiteral("the line ends with CR: save the file with LF line ends"));
        else if (text.contains('\r'))
            reject(QStringLiteral("the line holds a CR: save the file with LF line ends"));
        else if (lf < 0)
            reject(QStringLiteral("the last line has no line end: the file must end with LF"));
        else if (text.isEmpty())
            reject(QStringLiteral("the line is empty"));
        else
            line(text);
    }
    if (m_part != Part::Rows && m_result.rejectedLines == 0) {
        ++m_line;
        reject(QStringLiteral("the file ends before the '%1' line").arg(latin(kColumns)));
    }
    if (m_result.rejectedLines == 0) m_result.table = std::move(m_table);
    return std::move(m_result);
}

void Reader::line(QByteArrayView text) {
    switch (m_part) {
        case Part::Title:
            m_part = Part::Header;
            if (text == kTitle) return;
            if (text.startsWith(kByteOrderMark))
                reject(QStringLiteral(
                    "the file starts with a byte order mark: save it as UTF-8 without one"));
            else
                reject(QStringLiteral("not an Orvel device table: the first line must be '%1'")
                           .arg(latin(kTitle)));
            header(text);  // a file that lost its first line still gets the others checked
            return;
        case Part::Header:
            header(text);
            return;
        case Part::Rows:
            row(text);
            return;
    }
}

void Reader::header(QByteArrayView text) {
    if (text == kColumns) return columns();
    const qsizetype colon = text.indexOf(':');
    if (!text.startsWith("# ") || colon < 0 || text.sliced(colon).size() < 2 ||
        text[colon + 1] != ' ') {
        reject(
            QStringLiteral("expected a header line '# key: value' or '%1'").arg(latin(kColumns)));
        return;
    }
    const QByteArrayView name = text.sliced(2, colon - 2);
    int key = 0;
    while (key < KeyCount && kKeys[key] != name) ++key;
    if (key == KeyCount) {
        reject(QStringLiteral(
            "unknown header key (the keys are read, port, profile and settings)"));
        return;
    }
    if (m_keyLine[key]) {
        reject(QStringLiteral("a second '%1' line (the first is line %2)")
                   .arg(latin(kKeys[key]))
                   .arg(m_keyLine[key]));
        return;
    }
    m_keyLine[key] = m_line;
    if (key < m_lastKey) {
        reject(QStringLiteral("'%1' must come before '%2'")
                   .arg(latin(kKeys[key]), latin(kKeys[m_lastKey])));
        return;
    }
    m_lastKey = key;
    const QByteArrayView value = text.sliced(colon + 2);
    switch (key) {
        case Read:
            return readTime(value);
        case Port:
            return port(value);
        case ProfileKey:
            return profile(value);
        default:
            return settings(value);
    }
}

void Reader::columns() {
    m_part = Part::Rows;
    for (const Key key : {Read, Port})
        if (!m_keyLine[key])
            return reject(QStringLiteral("the header has no '%1' line").arg(latin(kKeys[key])));
}

void Reader::readTime(QByteArrayView value) {
    bool laidOut = value.size() == kTimeExample.size();
    for (qsizetype i = 0; laidOut && i < value.size(); ++i)
        laidOut = isDigit(kTimeExample[i]) ? isDigit(value[i]) : value[i] == kTimeExample[i];
    if (!laidOut) {
        reject(
            QStringLiteral("the read time must be written like %1 (UTC)").arg(latin(kTimeExample)));
        return;
    }
    const auto field = [&](int from, int length) {
        int n = 0;
        std::from_chars(value.data() + from, value.data() + from + length, n);
        return n;
    };
    const QDate date(field(0, 4), field(5, 2), field(8, 2));
    const QTime time(field(11, 2), field(14, 2), field(17, 2));
    if (!date.isValid())
        reject(QStringLiteral("%1 is not a date").arg(QString::fromLatin1(value.first(10))));
    else if (!time.isValid())
        reject(QStringLiteral("%1 is not a time of day")
                   .arg(QString::fromLatin1(value.sliced(11, 8))));
    else
        m_table.readAt = QDateTime(date, time, Qt::UTC);
}

void Reader::port(QByteArrayView value) {
    const QString name = QString::fromUtf8(value);
    if (name.toUtf8() != value) return reject(QStringLiteral("the port name is not UTF-8 text"));
    if (const auto port = portProblem(name); !port) return reject(port.words());
    m_table.port = name;
}

void Reader::profile(QByteArrayView value) {
    const qsizetype mark = value.lastIndexOf(kVersionMark);
    if (mark < 0)
        return reject(QStringLiteral("the profile is written '# profile: NAME, version V'"));
    const QString name = QString::fromUtf8(value.first(mark));
    if (name.toUtf8() != value.first(mark))
        return reject(QStringLiteral("the profile's name is not UTF-8 text"));
    const QString version = QString::fromUtf8(value.sliced(mark + kVersionMark.size()));
    if (const auto problem = profileNameProblem(name, version); !problem)
        return reject(problem.words());
    m_table.profileName = name;
    m_table.profileVersion = version;
}

void Reader::settings(QByteArrayView value) {
    if (value.isEmpty())
        return reject(
            QStringLiteral("the settings line is empty: leave it out when no settings were read"));
    std::map<int, quint8> cells;
    int last = 0;
    for (qsizetype at = 0; at <= value.size();) {
        const qsizetype comma = value.indexOf(',', at);
        const qsizetype end = comma < 0 ? value.size() : comma;
        const QByteArrayView item = value.sliced(at, end - at);
        at = end + 1;
        const qsizetype eq = item.indexOf('=');
        if (eq < 0) return reject(QStringLiteral("settings are written cell=value, e.g. 8176=3"));
        const auto cellNumber = number(item.first(eq), QStringLiteral("the settings cell"));
        if (!cellNumber) return reject(cellNumber.words());
        const auto valueNumber = number(item.sliced(eq + 1), QStringLiteral("the value"));
        if (!valueNumber) return reject(valueNumber.words());
        const int cell = *cellNumber, v = *valueNumber;
        if (cell < kFirstSetting || cell > kLastSetting)
            return reject(QStringLiteral("%1 is not a settings cell (%2 to %3)")
                              .arg(shown(item.first(eq)))
                              .arg(kFirstSetting)
                              .arg(kLastSetting));
        if (v > 255)
            return reject(QStringLiteral("value %1 of settings cell %2 is out of range (0 to 255)")
                              .arg(shown(item.sliced(eq + 1)))
                              .arg(cell));
        if (cell == last) return reject(QStringLiteral("settings cell %1 appears twice").arg(cell));
        if (cell < last)
            return reject(
                QStringLiteral("settings cell %1 comes after %2: cells must be in ascending order")
                    .arg(cell)
                    .arg(last));
        cells[cell] = quint8(v);
        last = cell;
    }
    m_table.settings = std::move(cells);
}

void Reader::row(QByteArrayView text) {
    if (text == kColumns) return reject(QStringLiteral("a second '%1' line").arg(latin(kColumns)));
    if (text.startsWith('#'))
        return reject(
            QStringLiteral("header lines belong above the '%1' line").arg(latin(kColumns)));
    const qsizetype comma = text.indexOf(',');
    if (comma < 0) return reject(QStringLiteral("expected object,value"));
    const QByteArrayView objectText = text.first(comma);
    const QByteArrayView valueText = text.sliced(comma + 1);
    if (valueText.contains(','))
        return reject(QStringLiteral("expected object,value: a line has two fields"));
    const auto objectNumber = number(objectText, QStringLiteral("the object"));
    if (!objectNumber) return reject(objectNumber.words());
    const auto valueNumber = number(valueText, QStringLiteral("the value"));
    if (!valueNumber) return reject(valueNumber.words());
    const int object = *objectNumber, value = *valueNumber;
    if (object >= kFirstSetting && object <= kLastSetting)
        return reject(
            QStringLiteral("%1 is a settings cell: settings belong in the '# settings:' line")
                .arg(object));
    if (object < kFirst || object > kLast)
        return reject(QStringLiteral("object %1 is not an object (%2 to %3)")
                          .arg(shown(objectText))
                          .arg(kFirst)
                          .arg(kLast));
    if (value > 255)
        return reject(QStringLiteral("value %1 is out of range (0 to 255)").arg(shown(valueText)));
    if (m_objectLine.empty()) m_objectLine.resize(kLast + 1);
    if (m_objectLine[object])
        return reject(QStringLiteral("object %1 appears twice (first on line %2)")
                          .arg(object)
                          .arg(m_objectLine[object]));
    if (object < m_lastObject)
        return reject(
            QStringLiteral("object %1 comes after object %2: objects must be in ascending order")
                .arg(object)
                .arg(m_lastObject));
    m_objectLine[object] = m_line;
    m_lastObject = object;
    m_table.objects.emplace_hint(m_table.objects.end(), object, quint8(value));
}

void Reader::reject(const QString &why) {
    if (m_line == m_lastRejected) return;
    m_lastRejected = m_line;
    ++m_result.rejectedLines;
    if (qsizetype(m_result.rejected.size()) < kMaxListedRejections)
        m_result.rejected.push_back({m_line, QStringLiteral("line %1: %2").arg(m_line).arg(why)});
}

}  // namespace

Done<TableFault> tableProblem(const Table &table) {
    if (!table.readAt.isValid())
        return fault(TableFault::NoReadTime, QStringLiteral("the table has no read time"));
    const int year = table.readAt.toUTC().date().year();
    if (year < 1 || year > 9999)
        return fault(TableFault::NoReadTime,
                     QStringLiteral("the read time lies outside the years 1 to 9999"));
    if (auto port = portProblem(table.port); !port) return port;
    if (QString::fromUtf8(table.port.toUtf8()) != table.port)
        return fault(TableFault::BadPort, QStringLiteral("the port name is not valid Unicode"));
    if (auto profile = profileNameProblem(table.profileName, table.profileVersion); !profile)
        return profile;
    for (const auto &[object, value] : table.objects)
        if (object < kFirst || object > kLast)
            return fault(TableFault::NotAnObject,
                         QStringLiteral("object %1 is not an object (%2 to %3)")
                             .arg(object)
                             .arg(kFirst)
                             .arg(kLast));
    for (const auto &[cell, value] : table.settings)
        if (cell < kFirstSetting || cell > kLastSetting)
            return fault(TableFault::NotASettingsCell,
                         QStringLiteral("%1 is not a settings cell (%2 to %3)")
                             .arg(cell)
                             .arg(kFirstSetting)
                             .arg(kLastSetting));
    return {};
}

QByteArray toBytes(const Table &table) {
    constexpr int kLongestRow = 9;  // "8175,255\n"
    QByteArray out;
    out.reserve(128 + table.port.size() * 3 + qsizetype(table.objects.size()) * kLongestRow);
    out.append(kTitle).append('\n');

    const QDateTime utc = table.readAt.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second());
    out.append("# read: ").append(when).append('\n');
    out.append("# port: ").append(table.port.toUtf8()).append('\n');
    if (!table.profileName.isEmpty())
        out.append("# profile: ")
            .append(table.profileName.toUtf8())
            .append(kVersionMark)
            .append(table.profileVersion.toLatin1())
            .append('\n');

    if (!table.settings.empty()) {
        out.append("# settings: ");
        for (auto it = table.settings.begin(); it != table.settings.end(); ++it) {
            if (it != table.settings.begin()) out.append(',');
            appendNumber(out, it->first);
            out.append('=');
            appendNumber(out, it->second);
        }
        out.append('\n');
    }

    out.append(kColumns).append('\n');
    for (const auto &[object, value] : table.objects) {
        appendNumber(out, object);
        out.append(',');
        appendNumber(out, value);
        out.append('\n');
    }
    return out;
}

ParseResult parseTable(QByteArrayView file) {
    return Reader(file).read();
}

}  // namespace orvel
