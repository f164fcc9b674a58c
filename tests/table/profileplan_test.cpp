// What a profile changes in Restore: protected objects kept, values it does not allow refused,
// and nothing at all without one.
#include "profile/profilefile.h"
#include "table/profileplan.h"

#include <gtest/gtest.h>

namespace orvel::plan {
namespace {

const QByteArray kProfile =
    "# Orvel profile\n# name: Door controller\n# version: 2.1\n"
    "object,name,group,values,access,note\n"
    "1,Unit number,Unit,1-250,keep,\n"
    "2,Firmware build,Unit,0=old;1=new,read-only,\n"
    "10,Brightness,Display,0-100,read-write,\n"
    "101-164,Door {n} enabled,Doors,0=off;1=on,read-write,\n";

enum class Fate { Written, Kept, Refused };

TEST(ProfilePlan, RestoreKeepsProtectedObjectsAndRefusesValuesNotAllowed) {
    const std::optional<Profile> profile = parseProfile(kProfile).profile;
    ASSERT_TRUE(profile);
    struct Row {
        const char *name;
        int object;
        quint8 device, file;
        Fate withProfile;
    };
    const Row rows[] = {
        {"keep", 1, 7, 8, Fate::Kept},
        {"keep, out of its range too", 1, 7, 251, Fate::Kept},
        {"read-only, not in its list", 2, 0, 9, Fate::Kept},
        {"range, top", 10, 0, 100, Fate::Written},
        {"range, above", 10, 0, 101, Fate::Refused},
        {"list, in it", 103, 0, 1, Fate::Written},
        {"list, not in it", 103, 1, 2, Fate::Refused},
        {"unnamed, any value", 200, 0, 255, Fate::Written},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Table table;
        table.objects[row.object] = row.file;
        const std::vector<Difference> differing = {{row.object, row.device, row.file}};
        for (const bool named : {false, true}) {
            const Profile &used = named ? *profile : Profile();
            const Fate fate = named ? row.withProfile : Fate::Written;
            EXPECT_EQ(outOfRange(table, used).size(), fate == Fate::Refused ? 1u : 0u) << named;
            const RestoreSplit split = splitForRestore(differing, used);
            EXPECT_EQ(split.kept.size(), fate == Fate::Kept ? 1u : 0u) << named;
            EXPECT_EQ(split.toWrite.size(), fate == Fate::Kept ? 0u : 1u) << named;
        }
    }
    Table table;
    table.objects = {{1, 0}, {10, 101}, {103, 2}, {104, 1}, {200, 9}};
    EXPECT_EQ(outOfRangeLines(outOfRange(table, *profile), *profile),
              QStringList({"object 10 (Brightness): 101 is not within 0-100",
                           "object 103 (Door 3 enabled): 2 is not one of 0=off;1=on"}));
    EXPECT_EQ(namedColumns({103, 0, 1}, *profile), QStringList({"Door 3 enabled", "off", "on"}));
    // A table saved under a profile, compared under none or another version: said.
    table.profileName = "Door controller";
    table.profileVersion = "2.1";
    EXPECT_EQ(profileMismatch(table, *profile), "");
    EXPECT_TRUE(profileMismatch(table, Profile()).endsWith("; no profile is in use."));
    table.profileVersion = "2.0";
    EXPECT_TRUE(profileMismatch(table, *profile).endsWith("; version 2.1 of it is in use."));
    EXPECT_EQ(profileMismatch(Table(), *profile), "");
}

}  // namespace
}  // namespace orvel::plan
