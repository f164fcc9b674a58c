// Compare and Restore in the window under a profile, against the simulator's memory file.
#include "app/statusline.h"
#include "table/tablestore.h"
#include "tableops/simulatorfixture.h"

namespace orvel::test {
namespace {

// Objects 1 to 10 the unit's own (keep, read-only), 11 to 40 a range, 41 a list.
const QByteArray kProfile = "# Orvel profile\n# name: Test unit\n# version: 1\n"
                            "object,name,group,values,access,note\n"
                            "1-5,Unit code {n},Unit,,keep,\n"
                            "6-10,Build {n},Unit,,read-only,\n"
                            "11-40,Door {n} mode,Doors,0-99,read-write,\n"
                            "41,Lamp,Lamps,0=off;1=on,read-write,\n";

// The configuration is the test's own, and the window it starts with remembers no profile.
struct OwnConfig {
    OwnConfig() : before(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    }
    ~OwnConfig() { qputenv("XDG_CONFIG_HOME", before); }
    QTemporaryDir dir;
    QByteArray before;
};

class ProfileEndToEnd : public OwnConfig, public SimulatorFormTest {
protected:
    ProfileEndToEnd() { form->show(); }

    QString profileShown() const {
        const auto *label = form->statusLine().findChild<QToolButton *>("profileLabel");
        return label && label->isVisible() ? label->text() : QString();
    }
};

TEST_F(ProfileEndToEnd, RestoreKeepsWhatTheProfileProtectsAndRefusesValuesItDoesNotAllow) {
    // A faulty profile is refused with its lines named, and none is in use.
    ASSERT_TRUE(writeWhole(path("bad.csv"), QByteArray(kProfile).replace("11-40", "9-40")));
    dialogs.fileToChoose = path("bad.csv");
    form->tableOperations().chooseProfile();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains("line 7: ")) << dialogs.messages[0].toStdString();
    EXPECT_EQ(profileShown(), "");
    ASSERT_TRUE(writeWhole(path("profile.csv"), kProfile));
    dialogs.fileToChoose = path("profile.csv");
    form->tableOperations().chooseProfile();
    EXPECT_EQ(profileShown(), "Profile: Test unit, version 1");
    EXPECT_EQ(QSettings(dir.filePath("config/window_tests/window.conf"), QSettings::IniFormat)
                  .value("profile"),
              path("profile.csv"));

    // The table (saved under an older version of the profile) holds i in object i; the device
    // differs in thirty: the ten protected objects, nineteen doors and the lamp.
    Table table{QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC), "COM 1", {}, {}, "Test unit",
                "0.9"};
    for (int object = 1; object <= 40; ++object) table.objects[object] = quint8(object);
    table.objects[41] = 1;
    ASSERT_TRUE(saveTable(path("table.csv"), table));
    QByteArray memory(8192, char(120));
    for (int object = 1; object <= 41; ++object) memory[object] = char(table.objects[object]);
    for (int object = 1; object <= 29; ++object) memory[object] = char(object + 50);
    memory[41] = 0;
    startSim(memory);

    dialogs.messages.clear();
    OperationDialog *compared = run(&TableOperations::compare, "table.csv");
    ASSERT_NE(compared, nullptr);
    ASSERT_GE(dialogs.messages.size(), 1);  // said before it started
    EXPECT_EQ(dialogs.messages[0], "The table was saved under the profile Test unit, version "
                                   "0.9; version 1 of it is in use.\n\nGo on?");
    QStringList all = rows(compared);
    EXPECT_EQ(all.size(), 30);
    EXPECT_EQ(all.value(0), "1,51,1,Unit code 1,,");
    EXPECT_EQ(all.value(28), "29,79,29,Door 19 mode,,");
    EXPECT_EQ(all.value(29), "41,0,1,Lamp,off,on");
    QComboBox *group = compared->findChild<QComboBox *>();
    ASSERT_NE(group, nullptr);
    group->setCurrentIndex(int(group->findText("Lamps")));
    EXPECT_EQ(rows(compared), QStringList{"41,0,1,Lamp,off,on"});

    OperationDialog *restored = run(&TableOperations::restore, "table.csv");
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->resultText(),
              "Written: 20, verified: 20, failed: 0. Kept: 10 (read-only or keep in the profile).");
    QStringList kept;
    for (int object = 1; object <= 10; ++object)
        kept << QStringLiteral("%1,%2,%1 (kept),%3 %4,,")
                    .arg(object)
                    .arg(object + 50)
                    .arg(object <= 5 ? "Unit code" : "Build")
                    .arg(object <= 5 ? object : object - 5);
    EXPECT_EQ(rows(restored), kept);
    QByteArray after = memory;
    for (int object = 11; object <= 41; ++object) after[object] = char(table.objects[object]);
    EXPECT_EQ(stopSim(), after);  // the ten protected objects untouched, and no other cell

    // A value the profile does not allow: refused, named, before anything is sent.
    table.objects[30] = 150;
    table.profileVersion = "1";
    ASSERT_TRUE(saveTable(path("wrong.csv"), table));
    startSim(after);
    restored->close();
    dialogs.messages.clear();
    restored = run(&TableOperations::restore, "wrong.csv");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0], "The table holds 1 value the profile Test unit does not allow: "
                                   "nothing is sent.\n\nobject 30 (Door 20 mode): 150 is not "
                                   "within 0-99");
    EXPECT_EQ(restored, nullptr);  // no operation began
    EXPECT_EQ(stopSim(), after);
}

}  // namespace
}  // namespace orvel::test
