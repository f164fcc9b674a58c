// The profile file reader and writer, on any bytes:
//  - a file the reader accepts names each object once at most, each name given once; the
//    writer writes it so that the reader takes it back with the same rows, and writes that
//    back to the same bytes;
//  - a file it refuses has its faults named in line order, each "line N: ...", N within the
//    file;
//  - the same bytes taken as a recipe for rows, written: the reader takes them back
//    unchanged exactly when no object is in two rows and no name is given twice (told here
//    by brute force), names such as "A{n:11}" and "A1{n}" meeting often.
#include <QByteArrayView>
#include <QSet>
#include <cstdint>
#include <set>

#include "profile/profilefile.h"

namespace {

using namespace orvel;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void checkProfile(const Profile &profile) {
    QSet<QString> names;
    int named = 0;
    for (int object = objects::kFirst; object <= objects::kLast; ++object) {
        const ProfileRow *row = profile.row(object);
        if (!row) continue;
        check(row->first <= object && object <= row->last);
        names.insert(profile.objectName(object));
        ++named;
        for (int value = 0; value <= 255; value += 51)
            check(profile.allows(object, value) ==
                  (row->values.meanings.empty()
                       ? row->values.low <= value && value <= row->values.high
                       : row->values.meanings.count(value) == 1));
    }
    check(named == profile.counts().named && names.size() == named);

    const QByteArray written = profileBytes(profile);
    const ProfileParse back = parseProfile(written);
    check(back.profile.has_value());
    check(back.profile->name() == profile.name() && back.profile->version() == profile.version());
    check(back.profile->rows() == profile.rows());
    check(profileBytes(*back.profile) == written);
}

// 4 bytes a row: its first object (1 to 40), its length (1 to 4), its name (prefix "A" or
// "A1", with or without a counter, suffix "" or "1") and access, its counter's start (0 to 11).
std::vector<ProfileRow> recipe(QByteArrayView data) {
    std::vector<ProfileRow> rows;
    for (qsizetype at = 0; at + 4 <= data.size() && rows.size() < 12; at += 4) {
        const auto byte = [&](int i) { return std::uint8_t(data[at + i]); };
        ProfileRow row;
        row.first = 1 + byte(0) % 40;
        row.last = row.first + byte(1) % 4;
        row.prefix = byte(2) & 1 ? QStringLiteral("A1") : QStringLiteral("A");
        row.counted = byte(2) & 2;
        if (row.counted) {
            row.suffix = byte(2) & 4 ? QStringLiteral("1") : QString();
            row.start = byte(3) % 12;
        }
        row.access = Access((byte(2) >> 3) % 3);
        rows.push_back(row);
    }
    return rows;
}

bool readable(const std::vector<ProfileRow> &rows) {
    std::set<int> objects;
    std::set<QString> names;
    for (const ProfileRow &row : rows) {
        if (!row.counted && row.first != row.last) return false;
        for (int object = row.first; object <= row.last; ++object) {
            const QString name =
                !row.counted
                    ? row.prefix
                    : row.prefix + QString::number(row.start + object - row.first) + row.suffix;
            if (!objects.insert(object).second || !names.insert(name).second) return false;
        }
    }
    return true;
}

void checkRecipe(QByteArrayView data) {
    const std::vector<ProfileRow> rows = recipe(data);
    const ProfileParse back = parseProfile(profileBytes(Profile("P", "1", rows)));
    check(back.profile.has_value() == readable(rows));
    if (back.profile) check(back.profile->rows() == rows);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const QByteArrayView file(data, qsizetype(size));
    checkRecipe(file);
    const ProfileParse result = parseProfile(file);
    if (result.profile) {
        check(result.rejected.empty() && result.rejectedLines == 0);
        checkProfile(*result.profile);
        return 0;
    }
    check(!result.rejected.empty());
    check(qsizetype(result.rejected.size()) <=
          std::min(result.rejectedLines, kMaxListedRejections + 1));
    const qsizetype lines = file.count('\n') + 1;
    qsizetype previous = 0;
    for (const Rejection &rejection : result.rejected) {
        check(rejection.line > previous && rejection.line <= lines + 1);
        check(rejection.text.startsWith(QStringLiteral("line %1: ").arg(rejection.line)));
        previous = rejection.line;
    }
    return 0;
}
