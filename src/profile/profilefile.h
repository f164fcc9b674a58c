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

enum class ProfileUnfit {
    NotRead,  // the file could not be read
    Faulty,   // some of its lines are not a profile's
};

// The profile at `path`, ready for use: read, and without a faulty line. The words of a
// failure name the file and why it cannot serve, with the first ten faulty lines quoted.
Outcome<Profile, ProfileUnfit> usableProfile(const QString &path);

}  // namespace orvel
