#include "profile/profilefile.h"

#include "files/regularfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <array>
#include <charconv>
#include <climits>

namespace orvel {
namespace {

constexpr QByteArrayView kTitle = "# Orvel profile";
constexpr std::array<QByteArrayView, 6> kColumns = {"object", "name",   "group",
                                                    "values", "access", "note"};
constexpr QByteArrayView kColumnsLine = "object,name,group,values,access,note";
constexpr QByteArrayView kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<QByteArrayView, 3> kAccess = {"read-write", "read-only", "keep"};

enum Key { NameKey, VersionKey, KeyCount };
constexpr std::array<QByteArrayView, KeyCount> kKeys = {"name", "version"};

constexpr qsizetype kMaxText = 100;  // characters of a name, group, meaning or profile name
constexpr qsizetype kMaxNote = 1000;
constexpr qsizetype kMaxVersion = 40;
constexpr int kMaxStart = 99999;  // of a counter
constexpr int kMaxDigits = 9;     // longer numbers are out of every range, and would overflow
constexpr int kShownDigits = 12;  // of a long number quoted in a reason
// Names made while checking rows that are then refused for a name already given: past this
// many the file is not read on, so a file of such rows cannot keep the reader busy.
constexpr qsizetype kNameBudget = 16 * 8175;

QLatin1String latin(QByteArrayView text) {
    return QLatin1String(text.data(), text.size());
}

QString shown(QByteArrayView digits) {
    if (digits.size() <= kShownDigits) return QString::fromLatin1(digits);
    return QString::fromLatin1(digits.first(kShownDigits)) + QStringLiteral("...");
}

// A line's fault, in the reader's words.
enum class Bad { Line };
Failure<Bad> bad(const QString &words) {
    return {Bad::Line, words};
}

Outcome<int, Bad> number(QByteArrayView token, const QString &what) {
    if (token.isEmpty()) return bad(what + QStringLiteral(" is missing"));
    if (token.contains(' ')) return bad(QStringLiteral("blanks are not allowed in numbers"));
    if (token.front() == '+' || token.front() == '-')
        return bad(QStringLiteral("signs are not allowed"));
    for (const char c : token)
        if (c < '0' || c > '9')
            return bad(QStringLiteral("%1 is not a decimal number: %2").arg(what, shown(token)));
    if (token.size() > 1 && token.front() == '0')
        return bad(QStringLiteral("%1 has a leading zero").arg(shown(token)));
    int value = INT_MAX;
    if (token.size() <= kMaxDigits) std::from_chars(token.begin(), token.end(), value);
    return value;
}

Outcome<int, Bad> valueNumber(QByteArrayView token, const QString &what) {
    const auto n = number(token, what);
    if (n && *n > 255)
        return bad(QStringLiteral("value %1 is out of range (0 to 255)").arg(shown(token)));
    return n;
}

enum class Kind { Required, Optional, Note };

// Free text of a field, at most `longest` characters. Only a note may begin or end with a
// blank; only one that is not Required may be empty.
Outcome<QString, Bad> text(QByteArrayView field, const QString &what, qsizetype longest,
                           Kind kind = Kind::Required) {
    const QString s = QString::fromUtf8(field);
    if (s.isEmpty()) {
        if (kind != Kind::Required) return s;
        return bad(what + QStringLiteral(" is empty"));
    }
    if (s.size() > longest)
        return bad(QStringLiteral("%1 is longer than %2 characters").arg(what).arg(longest));
    if (kind != Kind::Note && (s.front().isSpace() || s.back().isSpace()))
        return bad(what + QStringLiteral(" begins or ends with a blank"));
    return s;
}

// The fields of a line, quoted as in RFC 4180 but never across a line end.
Outcome<std::vector<QByteArray>, Bad> splitFields(QByteArrayView line) {
    std::vector<QByteArray> fields;
    fields.reserve(kColumns.size());
    qsizetype at = 0;
    for (;;) {
        if (fields.size() == kColumns.size())
            return bad(QStringLiteral("more than %1 fields").arg(kColumns.size()));
        QByteArray field;
        if (at < line.size() && line[at] == '"') {
            for (++at;;) {
                const qsizetype quote = line.indexOf('"', at);
                if (quote < 0) return bad(QStringLiteral("a quoted field is not closed"));
                field.append(line.sliced(at, quote - at));
                at = quote + 1;
                if (at >= line.size() || line[at] != '"') break;
                field.append('"');
                ++at;
            }
            if (at < line.size() && line[at] != ',')
                return bad(QStringLiteral("a quoted field goes on after its closing quote"));
        } else {
            const qsizetype comma = line.indexOf(',', at);
            const qsizetype end = comma < 0 ? line.size() : comma;
            field = line.sliced(at, end - at).toByteArray();
            if (field.contains('"'))
                return bad(QStringLiteral(
                    "a field with a quote in it is quoted whole, its quotes doubled"));
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= line.size()) return fields;
        ++at;  // the comma
    }
}

bool isControl(QChar c) {
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

// The object field: "12" or "101-164".
Outcome<std::pair<int, int>, Bad> objectsField(QByteArrayView field) {
    const qsizetype dash = field.indexOf('-');
    const QByteArrayView firstText = dash < 0 ? field : field.first(dash);
    const QByteArrayView lastText = dash < 0 ? field : field.sliced(dash + 1);
    int ends[2] = {};
    for (int i = 0; i < 2; ++i) {
        const QByteArrayView token = i == 0 ? firstText : lastText;
        const auto n = number(token, QStringLiteral("the object"));
        if (!n) return n.failure();
        if (!objects::isObject(*n))
            return bad(QStringLiteral("object %1 is not an object (%2 to %3)")
                           .arg(shown(token))
                           .arg(objects::kFirst)
                           .arg(objects::kLast));
        ends[i] = *n;
    }
    if (ends[1] < ends[0])
        return bad(QStringLiteral("the objects %1-%2 run backwards").arg(ends[0]).arg(ends[1]));
    return std::pair{ends[0], ends[1]};
}

// The name field into the row: its text around an optional counter {n} or {n:5}.
Done<Bad> nameField(QByteArrayView field, ProfileRow &row) {
    const auto name = text(field, QStringLiteral("the name"), kMaxText);
    if (!name) return name.failure();
    const QString counterWords = QStringLiteral(
        "a name holds at most one counter, written {n} to count from 1 or {n:5} to count "
        "from 5");
    const qsizetype open = name->indexOf(u'{');
    const qsizetype close = name->indexOf(u'}');
    if (open < 0 && close < 0) {
        row.prefix = *name;
        if (row.first != row.last)
            return bad(QStringLiteral("a row of %1 objects needs a counter in its name, such "
                                      "as 'Door {n}'")
                           .arg(row.last - row.first + 1));
        return {};
    }
    if (open < 0 || close < open || name->indexOf(u'{', open + 1) >= 0 ||
        name->indexOf(u'}', close + 1) >= 0)
        return bad(counterWords);
    const QString inside = name->mid(open + 1, close - open - 1);
    if (inside != u"n") {
        if (!inside.startsWith(u"n:")) return bad(counterWords);
        const QByteArray digits = inside.mid(2).toLatin1();
        const auto start = number(digits, QStringLiteral("the counter's start"));
        if (!start) return start.failure();
        if (*start > kMaxStart)
            return bad(QStringLiteral("a counter starts at %1 at most").arg(kMaxStart));
        row.start = *start;
    }
    row.counted = true;
    row.prefix = name->left(open);
    row.suffix = name->mid(close + 1);
    return {};
}

// "0=off;1=on", "0-255", or empty for any value.
Outcome<ProfileValues, Bad> valuesField(QByteArrayView field) {
    ProfileValues values;
    if (field.isEmpty()) return values;
    if (!field.contains('=')) {
        const qsizetype dash = field.indexOf('-');
        if (dash < 0)
            return bad(QStringLiteral(
                "the values are a list such as 0=off;1=on or a range such as 0-255"));
        const auto low = valueNumber(field.first(dash), QStringLiteral("the lowest value"));
        if (!low) return low.failure();
        const auto high = valueNumber(field.sliced(dash + 1), QStringLiteral("the highest value"));
        if (!high) return high.failure();
        if (*high < *low)
            return bad(QStringLiteral("the values %1-%2 run backwards").arg(*low).arg(*high));
        values.low = *low;
        values.high = *high;
        return values;
    }
    for (qsizetype at = 0; at <= field.size();) {
        const qsizetype semicolon = field.indexOf(';', at);
        const qsizetype end = semicolon < 0 ? field.size() : semicolon;
        const QByteArrayView item = field.sliced(at, end - at);
        at = end + 1;
        const qsizetype eq = item.indexOf('=');
        if (eq < 0)
            return bad(
                QStringLiteral("each value of a list is written value=meaning, "
                               "separated by ';'"));
        const auto value = valueNumber(item.first(eq), QStringLiteral("a value of the list"));
        if (!value) return value.failure();
        const auto meaning =
            text(item.sliced(eq + 1), QStringLiteral("the meaning of %1").arg(*value), kMaxText);
        if (!meaning) return meaning.failure();
        if (!values.meanings.emplace(*value, *meaning).second)
            return bad(QStringLiteral("value %1 appears twice in the list").arg(*value));
    }
    values.low = values.meanings.begin()->first;
    values.high = values.meanings.rbegin()->first;
    return values;
}

Outcome<Access, Bad> accessField(QByteArrayView field) {
    for (std::size_t i = 0; i < kAccess.size(); ++i)
        if (field == kAccess[i]) return Access(i);
    const QString known = QStringLiteral("read-write, read-only or keep");
    if (field.isEmpty()) return bad(QStringLiteral("the access is missing: ") + known);
    return bad(
        QStringLiteral("'%1' is no access: %2")
            .arg(QString::fromUtf8(field.first(std::min<qsizetype>(field.size(), 20))), known));
}

// Reads a file line by line; a line gets at most one rejection, its first fault.
class Reader {
public:
    explicit Reader(QByteArrayView file) : m_file(file) {}
    ProfileParse read();

private:
    enum class Part { Title, Header, Rows };
    struct Taken {  // objects first (the key) to last, accepted from a line
        int last;
        qsizetype line;
    };
    struct Named {
        int object;
        qsizetype line;
    };

    void line(QByteArrayView text);
    void header(const std::vector<QByteArray> &fields);
    void row(const std::vector<QByteArray> &fields);
    Done<Bad> rowFields(const std::vector<QByteArray> &fields, ProfileRow &row);
    Done<Bad> overlap(const ProfileRow &row) const;
    Done<Bad> names(const ProfileRow &row);
    // `listed`: even after kMaxListedRejections, as the line where the reader stopped.
    void reject(const QString &why, bool listed = false);

    QByteArrayView m_file;
    qsizetype m_line = 0;
    Part m_part = Part::Title;
    std::array<qsizetype, KeyCount> m_keyLine{};  // 0 until the key is seen
    QString m_name, m_version;
    std::map<int, Taken> m_taken;
    QHash<QString, Named> m_names;
    qsizetype m_nameBudget = kNameBudget;
    bool m_stopped = false;
    std::vector<ProfileRow> m_rows;
    qsizetype m_lastRejected = 0;
    ProfileParse m_result;
};

ProfileParse Reader::read() {
    if (m_file.isEmpty()) {
        m_line = 1;
        reject(QStringLiteral("the file is empty"));
    }
    qsizetype at = 0;
    while (at < m_file.size() && !m_stopped) {
        ++m_line;
        const qsizetype lf = m_file.indexOf('\n', at);
        const qsizetype end = lf < 0 ? m_file.size() : lf;
        const QByteArrayView text = m_file.sliced(at, end - at);
        at = end + 1;
        if (end > kMaxProfileFileBytes) {
            reject(QStringLiteral("the file goes on past %1 MiB: no profile is that large")
                       .arg(kMaxProfileFileBytes / (1024 * 1024)),
                   true);
            return std::move(m_result);
        }
        if (text.endsWith('\r'))
            reject(QStringLiteral("the line ends with CR: save the file with LF line ends"));
        else if (text.contains('\r'))
            reject(QStringLiteral("the line holds a CR: save the file with LF line ends"));
        else if (lf < 0)
            reject(QStringLiteral("the last line has no line end: the file must end with LF"));
        else if (text.isEmpty())
            reject(QStringLiteral("the line is empty"));
        else if (!text.isValidUtf8())
            reject(QStringLiteral("the line is not UTF-8 text"));
        else
            line(text);
    }
    if (m_part != Part::Rows && m_result.rejectedLines == 0) {
        ++m_line;
        reject(QStringLiteral("the file ends before the '%1' line").arg(latin(kColumnsLine)));
    }
    if (m_result.rejectedLines == 0)
        m_result.profile =
            Profile(m_name, m_version, std::move(m_rows),
                    QCryptographicHash::hash(m_file, QCryptographicHash::Sha256).toHex());
    return std::move(m_result);
}

void Reader::line(QByteArrayView text) {
    const QString decoded = QString::fromUtf8(text);
    for (const QChar c : decoded)
        if (isControl(c))
            return reject(QStringLiteral("the line holds a control character (U+%1)")
                              .arg(c.unicode(), 4, 16, QChar(u'0')));
    if (m_part == Part::Title && text.startsWith(kByteOrderMark)) {
        m_part = Part::Header;
        return reject(
            QStringLiteral("the file starts with a byte order mark: save it as UTF-8 without one"));
    }
    const auto fields = splitFields(text);
    if (!fields) {
        if (m_part == Part::Title) m_part = Part::Header;
        return reject(fields.words());
    }
    switch (m_part) {
        case Part::Title:
            m_part = Part::Header;
            if (fields->front() == kTitle) {
                for (std::size_t i = 1; i < fields->size(); ++i)
                    if (!(*fields)[i].isEmpty())
                        return reject(
                            QStringLiteral("a header line has one field: leave the "
                                           "other cells of its row empty"));
                return;
            }
            reject(QStringLiteral("not an Orvel profile: the first line must be '%1'")
                       .arg(latin(kTitle)));
            return header(*fields);  // a file that lost its first line still gets the rest checked
        case Part::Header:
            return header(*fields);
        case Part::Rows:
            return row(*fields);
    }
}

void Reader::header(const std::vector<QByteArray> &fields) {
    const QByteArray &first = fields.front();
    if (first == kColumns[0]) {
        m_part = Part::Rows;  // the lines below are read as rows, even under wrong columns
        for (std::size_t i = 0; i < kColumns.size(); ++i)
            if (fields.size() != kColumns.size() || fields[i] != kColumns[i])
                return reject(QStringLiteral("the columns must be '%1'").arg(latin(kColumnsLine)));
        for (int key = 0; key < KeyCount; ++key)
            if (!m_keyLine[key])
                return reject(QStringLiteral("the header has no '%1' line").arg(latin(kKeys[key])));
        return;
    }
    const qsizetype colon = first.indexOf(": ");
    if (!first.startsWith("# ") || colon < 0)
        return reject(QStringLiteral("expected a header line '# key: value' or '%1'")
                          .arg(latin(kColumnsLine)));
    const QByteArrayView name = QByteArrayView(first).sliced(2, colon - 2);
    const QByteArrayView value = QByteArrayView(first).sliced(colon + 2);
    int key = 0;
    while (key < KeyCount && kKeys[key] != name) ++key;
    if (key == KeyCount)
        return reject(QStringLiteral("unknown header key (the keys are name and version)"));
    if (m_keyLine[key])
        return reject(QStringLiteral("a second '%1' line (the first is line %2)")
                          .arg(latin(kKeys[key]))
                          .arg(m_keyLine[key]));
    m_keyLine[key] = m_line;
    for (std::size_t i = 1; i < fields.size(); ++i)
        if (!fields[i].isEmpty())
            return reject(QStringLiteral(
                "a header line has one field: leave the other cells of its row empty"));
    if (key == NameKey) {
        const auto profileName = text(value, QStringLiteral("the profile's name"), kMaxText);
        if (!profileName) return reject(profileName.words());
        m_name = *profileName;
        return;
    }
    if (m_keyLine[NameKey] == 0) return reject(QStringLiteral("'version' must come after 'name'"));
    bool plain = !value.isEmpty() && value.size() <= kMaxVersion;
    for (const char c : value)
        plain = plain && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_' || c == '+');
    if (!plain)
        return reject(
            QStringLiteral("the version is 1 to %1 letters, digits and . - _ +").arg(kMaxVersion));
    m_version = QString::fromLatin1(value);
}

void Reader::row(const std::vector<QByteArray> &fields) {
    if (fields.front().startsWith('#'))
        return reject(
            QStringLiteral("header lines belong above the '%1' line").arg(latin(kColumnsLine)));
    if (fields.size() != kColumns.size())
        return reject(QStringLiteral("a row has %1 fields, %2; this one has %3")
                          .arg(kColumns.size())
                          .arg(latin(kColumnsLine))
                          .arg(fields.size()));
    ProfileRow row;
    if (const auto read = rowFields(fields, row); !read) return reject(read.words());
    if (const auto taken = overlap(row); !taken) return reject(taken.words());
    if (const auto named = names(row); !named) return reject(named.words(), m_stopped);
    m_taken.emplace(row.first, Taken{row.last, m_line});
    m_rows.push_back(std::move(row));
}

Done<Bad> Reader::rowFields(const std::vector<QByteArray> &fields, ProfileRow &row) {
    const auto objects = objectsField(fields[0]);
    if (!objects) return objects.failure();
    std::tie(row.first, row.last) = *objects;
    if (const auto name = nameField(fields[1], row); !name) return name;
    const auto group = text(fields[2], QStringLiteral("the group"), kMaxText, Kind::Optional);
    if (!group) return group.failure();
    row.group = *group;
    const auto values = valuesField(fields[3]);
    if (!values) return values.failure();
    row.values = *values;
    const auto access = accessField(fields[4]);
    if (!access) return access.failure();
    row.access = *access;
    const auto note = text(fields[5], QStringLiteral("the note"), kMaxNote, Kind::Note);
    if (!note) return note.failure();
    row.note = *note;
    return {};
}

// Rows never overlap, so the row that starts at or before `first` and the next one are the
// only ones that can hold its objects.
Done<Bad> Reader::overlap(const ProfileRow &row) const {
    const auto words = [](int object, qsizetype line) {
        return bad(
            QStringLiteral("object %1 is in the row on line %2 already").arg(object).arg(line));
    };
    auto next = m_taken.upper_bound(row.first);
    if (next != m_taken.begin()) {
        const auto before = std::prev(next);
        if (before->second.last >= row.first) return words(row.first, before->second.line);
    }
    if (next != m_taken.end() && next->first <= row.last)
        return words(next->first, next->second.line);
    return {};
}

Done<Bad> Reader::names(const ProfileRow &row) {
    std::vector<QString> made;
    made.reserve(std::size_t(row.last - row.first + 1));
    for (int object = row.first; object <= row.last; ++object) {
        if (--m_nameBudget < 0) {
            m_stopped = true;
            return bad(
                QStringLiteral("too many names given twice: the rest of the file is not "
                               "read"));
        }
        QString name = row.objectName(object);
        if (const auto it = m_names.constFind(name); it != m_names.constEnd())
            return bad(QStringLiteral("the name '%1' is object %2's already (line %3)")
                           .arg(name, QString::number(it->object), QString::number(it->line)));
        made.push_back(std::move(name));
    }
    m_nameBudget += qsizetype(made.size());  // names kept cost nothing: at most 8175 are kept
    for (std::size_t i = 0; i < made.size(); ++i)
        m_names.insert(made[i], Named{row.first + int(i), m_line});
    return {};
}

void Reader::reject(const QString &why, bool listed) {
    if (m_line == m_lastRejected) return;
    m_lastRejected = m_line;
    ++m_result.rejectedLines;
    if (listed || qsizetype(m_result.rejected.size()) < kMaxListedRejections)
        m_result.rejected.push_back({m_line, QStringLiteral("line %1: %2").arg(m_line).arg(why)});
}

QByteArray csvField(const QString &text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"')) return bytes;
    return '"' + bytes.replace("\"", "\"\"") + '"';
}

}  // namespace

ProfileParse parseProfile(QByteArrayView file) {
    return Reader(file).read();
}

QByteArray profileBytes(const Profile &profile) {
    QByteArray out;
    out.append(kTitle).append('\n');
    out.append(csvField(QStringLiteral("# name: ") + profile.name())).append('\n');
    out.append("# version: ").append(profile.version().toLatin1()).append('\n');
    out.append(kColumnsLine).append('\n');
    for (const ProfileRow &row : profile.rows()) {
        out.append(QByteArray::number(row.first));
        if (row.last != row.first) out.append('-').append(QByteArray::number(row.last));
        QString name = row.prefix;
        if (row.counted) {
            name +=
                row.start == 1 ? QStringLiteral("{n}") : QStringLiteral("{n:%1}").arg(row.start);
            name += row.suffix;
        }
        const bool anyValue = row.values == ProfileValues{};
        for (const QString &field :
             {name, row.group, anyValue ? QString() : valuesText(row.values),
              QString::fromLatin1(kAccess[std::size_t(row.access)]), row.note})
            out.append(',').append(csvField(field));
        out.append('\n');
    }
    return out;
}

ProfileLoad loadProfile(const QString &path) {
    // One byte more than the limit lets the reader name the line that goes past it. Only a
    // regular file is read: a FIFO or a device never holds the reader up.
    const auto bytes = readRegularFile(path, kMaxProfileFileBytes + 1);
    if (!bytes) return Failure<LoadFailure>{LoadFailure::NotRead, bytes.words()};
    return parseProfile(*bytes);
}

Outcome<Profile, ProfileUnfit> usableProfile(const QString &path) {
    const QString name = QDir::toNativeSeparators(path);
    ProfileLoad loaded = loadProfile(path);
    if (!loaded)
        return Failure<ProfileUnfit>{
            ProfileUnfit::NotRead,
            QStringLiteral("%1 could not be read: %2").arg(name, loaded.words())};
    if (loaded->profile) return std::move(*loaded->profile);
    QStringList lines;
    for (const Rejection &rejection : loaded->rejected) {
        if (lines.size() == 10) break;
        lines.append(rejection.text);
    }
    return Failure<ProfileUnfit>{
        ProfileUnfit::Faulty,
        QStringLiteral("%1 is not a profile: %2 of its lines %3 rejected.\n\n%4")
            .arg(name, QString::number(loaded->rejectedLines),
                 loaded->rejectedLines == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                 lines.join(u'\n'))};
}

}  // namespace orvel
