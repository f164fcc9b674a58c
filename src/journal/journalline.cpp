#include "journal/journalline.h"

#include <charconv>
#include <cstdlib>

namespace orvel {
namespace {

using namespace std::chrono;

void appendNumber(std::string &out, long long n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void appendTwo(std::string &out, int n) {
    out += char('0' + n / 10);
    out += char('0' + n % 10);
}

void appendTime(std::string &out, JournalTime time) {
    const milliseconds local{time.msecsSinceEpoch + time.offsetSeconds * 1000LL};
    const sys_days day = floor<days>(sys_time<milliseconds>(local));
    const year_month_day date{day};
    const hh_mm_ss clock{local - day.time_since_epoch()};
    const int year = int(date.year());
    if (year >= 0 && year < 1000) out.append(year < 10 ? "000" : year < 100 ? "00" : "0");
    appendNumber(out, year);
    out += '-';
    appendTwo(out, int(unsigned(date.month())));
    out += '-';
    appendTwo(out, int(unsigned(date.day())));
    out += 'T';
    appendTwo(out, int(clock.hours().count()));
    out += ':';
    appendTwo(out, int(clock.minutes().count()));
    out += ':';
    appendTwo(out, int(clock.seconds().count()));
    out += '.';
    const int ms = int(clock.subseconds().count());
    out += char('0' + ms / 100);
    appendTwo(out, ms % 100);
    const int offset = std::abs(time.offsetSeconds) / 60;
    out += time.offsetSeconds < 0 ? '-' : '+';
    appendTwo(out, offset / 60);
    out += ':';
    appendTwo(out, offset % 60);
}

// RFC 4180: a field holding a comma, quote or line end is quoted, its quotes doubled.
std::string csvField(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.indexOf(',') < 0 && utf8.indexOf('"') < 0 && utf8.indexOf('\n') < 0 &&
        utf8.indexOf('\r') < 0)
        return utf8.toStdString();
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"') out += '"';
        out += c;
    }
    return out += '"';
}

}  // namespace

sys_days JournalTime::day() const {
    return floor<days>(
        sys_time<milliseconds>(milliseconds{msecsSinceEpoch + offsetSeconds * 1000LL}));
}

const std::string &JournalLine::Field::of(QStringView value) {
    if (text != value) {
        text = value.toString();
        csv = csvField(value);
    }
    return csv;
}

void JournalLine::format(std::string &out, JournalTime time, QStringView port,
                         QStringView operation, int object, int value) {
    out.clear();
    appendTime(out, time);
    out += ',';
    out += m_port.of(port);
    out += ',';
    out += m_operation.of(operation);
    out += ',';
    appendNumber(out, object);
    out += ',';
    appendNumber(out, value);
    out += '\n';
}

}  // namespace orvel
