// The profile file reader and writer, on any bytes:
//  - a file the reader accepts names each object once at most, each name given once; the
//    writer writes it so that the reader takes it back with the same rows, and writes that
//    back to the same bytes;
//  - a file it refuses has its faults named in line order, each "line N: ...", N within the
//    file.
#include <QByteArrayView>
#include <QSet>
#include <cstdint>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size) {
    const QByteArrayView file(data, qsizetype(size));
    const ProfileParse result = parseProfile(file);
    if (result.profile) {
        check(result.rejected.empty() && result.rejectedLines == 0);
        checkProfile(*result.profile);
        return 0;
    }
    check(!result.rejected.empty());
    check(qsizetype(result.rejected.size()) <= std::min(result.rejectedLines, kMaxListedRejections + 1));
    const qsizetype lines = file.count('\n') + 1;
    qsizetype previous = 0;
    for (const Rejection &rejection : result.rejected) {
        check(rejection.line > previous && rejection.line <= lines + 1);
        check(rejection.text.startsWith(QStringLiteral("line %1: ").arg(rejection.line)));
        previous = rejection.line;
    }
    return 0;
}
