// The profile file's reader and what a profile says about an object. That the writer and
// the reader agree is the profile fuzz target's.
#include "profile/profilefile.h"
#include "support/lines.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

const QByteArray kGood =
    "# Orvel profile\n"
    "\"# name: Door controller, north\",,,,,\n"
    "# version: 2.1\n"
    "object,name,group,values,access,note\n"
    "1,Unit number,Unit,1-250,keep,\n"
    "101-164,Door {n} enabled,Doors,0=off;1=on,read-write,\n"
    "301-316,\"Relay {n:0} mode, \"\"A\"\"\",Relays,0=off;2=pulse,read-only,\"Counted from 0, as "
    "printed\"\n"
    "8175,Checksum,,,read-only,\n";

// kGood with line `n` replaced by `text` (its own line end included; empty removes it).
QByteArray withLine(int n, const QByteArray &text, int replaced = 1) {
    return test::withLine(kGood, n, text, replaced);
}

TEST(ProfileFile, SaysWhatEachObjectMeans) {
    const ProfileParse parsed = parseProfile(kGood);
    ASSERT_TRUE(parsed.profile) << parsed.rejected.front().text.toStdString();
    const Profile &p = *parsed.profile;
    EXPECT_EQ(p.name(), "Door controller, north");
    EXPECT_EQ(p.version(), "2.1");
    EXPECT_EQ(p.objectName(103), "Door 3 enabled");
    EXPECT_EQ(p.objectName(316), "Relay 15 mode, \"A\"");
    EXPECT_EQ(p.group(316), "Relays");
    EXPECT_EQ(p.meaning(102, 1), "on");
    EXPECT_EQ(p.meaning(1, 7), "");
    EXPECT_EQ(p.access(1), Access::Keep);
    EXPECT_TRUE(p.isProtected(8175));
    EXPECT_FALSE(p.isProtected(100));
    EXPECT_EQ(p.objectName(100), "");
    const std::pair<int, int> allowed[] = {{1, 1}, {1, 250}, {8175, 255}, {100, 0}, {301, 2}};
    const std::pair<int, int> refused[] = {{1, 0}, {1, 251}, {101, 2}, {301, 1}};
    for (const auto &[object, value] : allowed) EXPECT_TRUE(p.allows(object, value)) << object;
    for (const auto &[object, value] : refused) EXPECT_FALSE(p.allows(object, value)) << object;
    EXPECT_EQ(p.valuesText(301), "0=off;2=pulse");
    const Profile::Counts counts = p.counts();
    EXPECT_EQ(counts.named, 82);
    EXPECT_EQ(counts.unnamed, 8175 - 82);
    EXPECT_EQ(counts.readOnly, 17);
    EXPECT_EQ(counts.kept, 1);
    EXPECT_EQ(p.groups(), QStringList({"Unit", "Doors", "Relays"}));

    QByteArray every = withLine(5, {}, 4);  // every object its own row
    for (int object = 1; object <= objects::kLast; ++object)
        every += QByteArray::number(object) + ",Object " + QByteArray::number(object) +
                 ",,0-9,read-write,\n";
    const ProfileParse all = parseProfile(every);
    ASSERT_TRUE(all.profile);
    EXPECT_EQ(all.profile->counts().named, objects::kLast);
}

TEST(ProfileFile, RejectsEveryFaultNamingItsLine) {
    const QByteArray huge(5 * 1024 * 1024, 'x');
    const struct {
        QByteArray file;
        qsizetype line;  // of the last rejection listed
        const char *reason;
        qsizetype rejectedLines = 1;
    } cases[] = {
        {"", 1, "the file is empty"},
        {"\xEF\xBB\xBF" + kGood, 1, "byte order mark"},
        {QByteArray(kGood).replace("\n", "\r\n"), 8, "ends with CR: save the file with LF", 8},
        {kGood + "9,Nine,,,keep,", 9, "no line end"},
        {withLine(5, "\n", 0), 5, "the line is empty"},
        {kGood + QByteArrayLiteral("9,N\0ne,,,keep,\n"), 9, "control character"},
        {kGood + "9,N\xFF\xFEne,,,keep,\n", 9, "not UTF-8"},
        {kGood + "9," + huge + "\n", 9, "past 4 MiB"},
        {withLine(1, "# Orvel table\n"), 1, "not an Orvel profile"},
        {withLine(3, "# revision: 2\n", 0), 3, "unknown header key"},
        {withLine(3, "# name: again\n", 0), 3, "a second 'name' line (the first is line 2)"},
        {withLine(3, {}), 3, "the header has no 'version' line"},
        {withLine(3, "# version: 2 beta\n"), 3, "letters, digits"},
        {withLine(2, "# name: Doors,x,,,,\n"), 2, "one field"},
        {withLine(4, "object,name,group,values,access\n"), 4, "the columns must be"},
        {withLine(8, "0,Nothing,,,keep,\n"), 8, "object 0 is not an object (1 to 8175)"},
        {withLine(8, "8176,Delay,,,keep,\n"), 8, "object 8176 is not an object"},
        {withLine(8, "9-7,N{n},,,keep,\n"), 8, "run backwards"},
        {withLine(8, "09,Nine,,,keep,\n"), 8, "leading zero"},
        {withLine(8, "9,Nine,,,keep\n"), 8, "a row has 6 fields"},
        {withLine(8, "9,\"Nine,,,keep,\n"), 8, "not closed"},
        {withLine(8, "9,Ni\"ne,,,keep,\n"), 8, "quoted whole"},
        {withLine(8, "9,,,,keep,\n"), 8, "the name is empty"},
        {withLine(8, "9, Nine,,,keep,\n"), 8, "the name begins or ends with a blank"},
        {withLine(8, "9," + QByteArray(101, 'N') + ",,,keep,\n"), 8, "longer than 100"},
        {withLine(8, "9-10,Nine,,,keep,\n"), 8, "a row of 2 objects needs a counter"},
        {withLine(8, "9-10,N{x},,,keep,\n"), 8, "{n:5} to count from 5"},
        {withLine(8, "9-10,N{n}{n},,,keep,\n"), 8, "at most one counter"},
        {withLine(8, "9,Nine,,0=off;1,keep,\n"), 8, "value=meaning"},
        {withLine(8, "9,Nine,,0=off;256=on,keep,\n"), 8, "value 256 is out of range"},
        {withLine(8, "9,Nine,,0=off;0=on,keep,\n"), 8, "value 0 appears twice in the list"},
        {withLine(8, "9,Nine,,0=,keep,\n"), 8, "the meaning of 0 is empty"},
        {withLine(8, "9,Nine,,5,keep,\n"), 8, "a list such as 0=off;1=on or a range"},
        {withLine(8, "9,Nine,,,rw,\n"), 8, "'rw' is no access"},
        {withLine(8, "9,Nine,,,,\n"), 8, "the access is missing"},
        {withLine(8, "160-170,N{n},,,keep,\n"), 8, "object 160 is in the row on line 6 already"},
        {withLine(8, "90-110,N{n},,,keep,\n"), 8, "object 101 is in the row on line 6 already"},
        {withLine(8, "9,Door 3 enabled,,,keep,\n"), 8, "'Door 3 enabled' is object 103's already"},
        {withLine(8, "201-210,Door {n:60} enabled,,,keep,\n"), 8,
         "'Door 60 enabled' is object 160's"},
        {withLine(8, "# name: x\n"), 8, "header lines belong above"},
        // All are counted, the first hundred listed.
        {kGood + QByteArray("x\n").repeated(1000), 108, "a row has 6 fields", 1000},
        // Rows that would make names only to be refused stop the reader; the last is listed.
        {withLine(5, "1,N8174,,,keep,\n", 4) + QByteArray("2-8175,N{n},,,keep,\n").repeated(20), 22,
         "the rest of the file is not read", 17},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        const ProfileParse result = parseProfile(c.file);
        EXPECT_FALSE(result.profile);
        EXPECT_EQ(result.rejectedLines, c.rejectedLines);
        if (result.rejected.empty()) continue;
        EXPECT_EQ(result.rejected.back().line, c.line);
        EXPECT_TRUE(result.rejected.back().text.contains(QLatin1String(c.reason)))
            << result.rejected.back().text.toStdString();
    }
}

}  // namespace
}  // namespace orvel
