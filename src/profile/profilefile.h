#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

#include "profile/profile.h"
#include "table/tablefile.h"
#include "table/tablestore.h"

// The profile file: CSV under a header naming the profile and its version
// (docs/profile-format.md). The reader is strict, as the table file's is: a file with any
// rejected line gives no profile.
namespace orvel {

// A profile of every object, each with a long note, is about 1 MiB; the reader stops at the
// line that goes past this.
constexpr qsizetype kMaxProfileFileBytes = 4 * 1024 * 1024;

struct ProfileParse {
    std::optional<Profile> profile;  // only when no line was rejected
    // The first kMaxListedRejections, in line order, and the line where the reader stopped
    // when it stopped before the end.
    std::vector<Rejection> rejected;
    qsizetype rejectedLines = 0;  // all of them
};

ProfileParse parseProfile(QByteArrayView file);

// The file for `profile`, which the reader takes back with the same rows.
QByteArray profileBytes(const Profile &profile);

// A file read: its profile, or the lines rejected. Never TooLarge: the reader names the
// line that goes past kMaxProfileFileBytes.
using ProfileLoad = Outcome<ProfileParse, LoadFailure>;
ProfileLoad loadProfile(const QString &path);

// Why the profile file `path` cannot serve (it could not be read, or some of its lines are
// not a profile's, the first ten of them quoted); empty when it can.
QString profileProblem(const QString &path, const ProfileLoad &loaded);

}  // namespace orvel
