// Save, Compare and Restore table in the window, against the simulator's memory file.

#include "app/statusline.h"
#include "table/restoreplan.h"
#include "table/tablestore.h"
#include "tableops/simulatorfixture.h"

namespace orvel::test {
namespace {

constexpr int kLast = 200;  // the table holds objects 1 to 200
// Changed after the table was saved: its ends, the protocol's own bytes, cells outside it.
const std::map<int, quint8> kChangedInTable = {{1, 200}, {2, 1},    {50, 0},  {57, 172}, {99, 202},
                                               {100, 7}, {128, 99}, {150, 3}, {171, 5},  {200, 77}};
const std::map<int, quint8> kChangedOutside = {{201, 150}, {4000, 160}, {8180, 170}};

// In the table, values below 100 and the two protocol bytes; outside it, values 100 to 169
// up that no restore writes, so a write that strays out of the table changes a cell.
const QByteArray kMemory = [] {
    QByteArray memory(8192, '\0');
    for (int i = 0; i < memory.size(); ++i)
        memory[i] = char(i >= 1 && i <= kLast ? (i * 37) % 100 : 100 + (i * 37) % 70);
    memory[50] = char(172);
    memory[150] = char(202);
    return memory;
}();

class TableEndToEnd : public SimulatorFormTest {
protected:
    TableEndToEnd() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(files.filePath("state")));
        form->show();
    }

    // The table saved from kMemory, and the device changed since in ten of its objects and
    // elsewhere; returns the device's memory.
    QByteArray startChanged(const QStringList &options = {}) {
        Table table{QDateTime::currentDateTimeUtc().addSecs(-60), "COM 1 (/dev/ttyS0)", {}, {}};
        for (int i = 1; i <= kLast; ++i) table.objects[i] = quint8(kMemory[i]);
        EXPECT_TRUE(saveTable(path("table.csv"), table).ok());
        QByteArray changed = kMemory;
        for (const auto &changes : {kChangedInTable, kChangedOutside})
            for (const auto &[cell, value] : changes) changed[cell] = char(value);
        startSim(changed, options);
        return changed;
    }
    QString journal() const {
        const QDir journal(path("state/orvel-programator/journal"));
        QFile file(journal.filePath(journal.entryList(QDir::Files).value(0)));
        return file.open(QIODevice::ReadOnly) ? QString(file.readAll()) : QString();
    }
};

TEST_F(TableEndToEnd, SaveTableKeepsOnlyTheDevicesValues) {
    form->tableOperations().saveTable();  // nothing read yet: no file asked for
    EXPECT_EQ(dialogs.fileDialogs, 0);
    EXPECT_EQ(dialogs.messages.size(), 1);
    startSim(kMemory);
    ui().Text1->setText("1");
    ui().Text2->setText(QString::number(kLast));
    ui().Option2[1]->setChecked(true);
    // Each value is journaled as it comes, not when the read ends.
    ASSERT_TRUE(runUntil([&] { return journal().contains(",read,1,"); }, kWait));
    EXPECT_NE(state().TransferPhase, 0);
    ASSERT_TRUE(runUntil([&] { return state().TransferPhase == 0; }, kWait));
    EXPECT_EQ(journal().count(",read,"), kLast);

    dialogs.fileToChoose = path("table.csv");
    form->tableOperations().saveTable();
    const LoadResult saved = loadTable(path("table.csv"));
    ASSERT_TRUE(saved && saved->table)
        << plan::usableTable("table.csv", saved).words().toStdString();
    // Every value saved is the device's. One the line left in doubt (a program stalled on a
    // busy machine sees the device's bytes piled up) is left out, and journaled as such.
    const std::map<int, quint8> &kept = saved->table->objects;
    for (const auto &[object, value] : kept)
        EXPECT_TRUE(object >= 1 && object <= kLast && value == quint8(kMemory[object])) << object;
    EXPECT_EQ(kLast - qsizetype(kept.size()), journal().count(",in-doubt,"));
}

// A file that cannot serve starts nothing, and says why: the first ten rejected lines.
TEST_F(TableEndToEnd, ATableFileThatCannotServeStartsNothing) {
    startSim(kMemory);
    QByteArray bad = "# Orvel device table\n# read: 2026-12-07T05:12:00Z\n# port: x\nobject,value\n";
    for (int i = 1; i <= 12; ++i) bad += "0" + QByteArray::number(i) + ",1\n";
    ASSERT_TRUE(writeWhole(path("bad.csv"), bad));
    dialogs.fileToChoose = path("bad.csv");
    form->tableOperations().restore();
    EXPECT_FALSE(form->tableOperations().running());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(" is not a table file: 12 of its lines are "
                                             "rejected.\n\nline 5: 01 has a leading zero"));
    EXPECT_TRUE(dialogs.messages[0].endsWith("line 14: 010 has a leading zero"));
    EXPECT_EQ(dialogs.titles.last(), "Orvel programator");  // a box added to the window
}

// Closing the dialog while one runs stops it after the object under way: the operator
// sees where, and nothing is written though objects 1 and 2 differ.
TEST_F(TableEndToEnd, ClosingTheDialogStopsRestoreBeforeItWrites) {
    const QByteArray changed = startChanged();
    dialogs.fileToChoose = path("table.csv");
    form->tableOperations().restore();
    ASSERT_TRUE(runUntil([&] { return journal().count(",restore-read,") >= 3; }, kWait));
    form->findChild<OperationDialog *>()->close();
    ASSERT_TRUE(runUntil([&] { return !form->tableOperations().running(); }, kWait));
    const QString stopped = form->findChild<OperationDialog *>()->resultText();
    EXPECT_TRUE(stopped.contains(QRegularExpression(
        "^Nothing is written.\nStopped after \\d+ of 200 objects.$"))) << stopped.toStdString();
    EXPECT_EQ(stopSim(), changed);
}

// The port lost part-way through a Compare: the ending says so, and the window disconnects
// as the operator would: the frames stay locked after the Compare.
TEST_F(TableEndToEnd, ThePortLostDuringCompareIsSaid) {
    startChanged();
    dialogs.fileToChoose = path("table.csv");
    form->tableOperations().compare();
    ASSERT_TRUE(runUntil([&] { return journal().contains(",compare,"); }, kWait));
    sim->kill();
    ASSERT_TRUE(runUntil([&] { return !form->tableOperations().running(); }, kWait));
    const QString lost = form->findChild<OperationDialog *>()->resultText();
    EXPECT_TRUE(lost.contains("\nThe port was lost: ")) << lost.toStdString();
    EXPECT_FALSE(form->MSComm1().PortOpen() || ui().Frame2->isEnabled() || ui().Frame3->isEnabled());
}

TEST_F(TableEndToEnd, CompareListsAndSavesTheDifferences) {
    startChanged();
    const QPointer<OperationDialog> compared = run(&TableOperations::compare);
    ASSERT_NE(compared, nullptr);
    EXPECT_EQ(compared->resultText(), "10 of the 200 objects compared differ from the table.");
    QStringList differing;
    for (const auto &[object, value] : kChangedInTable)
        differing << QStringLiteral("%1,%2,%3").arg(object).arg(value).arg(quint8(kMemory[object]));
    EXPECT_EQ(rows(compared), differing);
    dialogs.fileToChoose = path("differences.csv");
    // Saved once the ending is on the status line, as an operator saves: the note follows it.
    ASSERT_TRUE(runUntil([&] { return form->statusLine().transferText().startsWith("Compare"); },
                         kWait));
    for (QPushButton *button : compared->findChildren<QPushButton *>())
        if (button->text() == "&Save differences…") button->click();
    QFile differences(path("differences.csv"));
    ASSERT_TRUE(differences.open(QIODevice::ReadOnly));
    EXPECT_EQ(differences.readAll(), "object,device,table\n" + differing.join('\n') + '\n');
    EXPECT_EQ(differences.permissions() & 0x7777, 0x6600);  // private, as a table is
    EXPECT_EQ(form->statusLine().transferText(), "10 differences saved to " + path("differences.csv"));
}

// Restore, a comparison still on the screen: it gives way to a dialog of its own, asks with
// the time it takes, and writes the ten objects, each read back, and no other cell.
TEST_F(TableEndToEnd, RestoreWritesExactlyTheChangedObjects) {
    const QByteArray changed = startChanged();
    const QPointer<OperationDialog> compared = run(&TableOperations::compare);
    ASSERT_NE(compared, nullptr);
    dialogs.messages.clear();
    OperationDialog *restored = run(&TableOperations::restore);
    ASSERT_NE(restored, nullptr);
    EXPECT_TRUE(compared.isNull());
    EXPECT_EQ(restored->resultText(), "Written: 10, verified: 10, failed: 0.");
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(
        QRegularExpression("differ from the table.\n\nWriting them, each read back at once, "
                           "takes (less than a second|about \\d+ seconds?)\\. Write them")));
    QByteArray after = changed;
    for (const auto &[object, value] : kChangedInTable) after[object] = kMemory[object];
    EXPECT_EQ(journal().count(",restore-write,"), 10);
    EXPECT_EQ(journal().count(",restore-verify,"), 10);
    EXPECT_EQ(stopSim(), after);
}

// Silent part-way through the restore (the read and link check take about 1060 bytes, a
// write with its read-back 11): the written verified, the others named, no other cell.
TEST_F(TableEndToEnd, ADeviceFallenSilentLeavesTheRestNamed) {
    const QByteArray changed = startChanged({"--silent-after", "1100"});
    OperationDialog *restored = run(&TableOperations::restore);
    ASSERT_NE(restored, nullptr);
    const QByteArray faulty = stopSim();
    const QRegularExpressionMatch said = QRegularExpression(
        "^Written: \\d+, verified: (\\d+), failed: (\\d+)\\.\nThe device is not answering")
                                             .match(restored->resultText());
    ASSERT_TRUE(said.hasMatch()) << restored->resultText().toStdString();
    const int verified = said.captured(1).toInt(), failed = said.captured(2).toInt();
    EXPECT_TRUE(verified > 0 && failed > 0 && verified + failed == 10) << verified << failed;
    EXPECT_EQ(rows(restored).size(), failed);
    int written = 0;
    for (int cell = 0; cell < faulty.size(); ++cell) {
        if (faulty[cell] == changed[cell]) continue;
        ++written;
        EXPECT_TRUE(cell >= 1 && cell <= kLast && faulty[cell] == kMemory[cell]) << cell;
    }
    EXPECT_LE(written, verified + 1);  // at most the object under way not verified
}

// Closing the window during Compare or Restore asks first, and the paced device goes on being
// answered while the question is open: No changes nothing, Yes ends after the object under
// way and closes the window; a question left open goes when its operation ends.
struct CloseRow {
    const char *name;
    bool restore;
    const char *phase;  // the journal's lines while the phase the question comes in runs
    int answer;         // QMessageBox::Yes or No; 0: left open
};
void PrintTo(const CloseRow &row, std::ostream *os) { *os << row.name; }
const CloseRow kCloseRows[] = {{"CompareNo", false, ",compare,", QMessageBox::No},
    {"CompareYes", false, ",compare,", QMessageBox::Yes}, {"CompareLeftOpen", false, ",compare,", 0},
    {"RestoreReadingNo", true, ",restore-read,", QMessageBox::No},
    {"RestoreReadingYes", true, ",restore-read,", QMessageBox::Yes},
    {"RestoreWritingNo", true, ",restore-verify,", QMessageBox::No},
    {"RestoreWritingYes", true, ",restore-verify,", QMessageBox::Yes}};
struct CloseDuringOperation : TableEndToEnd, ::testing::WithParamInterface<CloseRow> {};

TEST_P(CloseDuringOperation, TheDeviceIsAnsweredWhileTheQuestionIsOpen) {
    const CloseRow &row = GetParam();
    QByteArray memory(8192, '\0');  // objects 1 to 60; the even ones differ from the table
    Table table{QDateTime::currentDateTimeUtc().addSecs(-60), "COM 1 (/dev/ttyS0)", {}, {}};
    for (int i = 1; i <= 60; ++i) memory[i] = char(i), table.objects[i] = quint8(i % 2 ? i : i + 100);
    ASSERT_TRUE(saveTable(path("table.csv"), table));
    paced = true;  // waiting 3 s for an answer: a loaded machine's pause is no line fault here
    startSim(memory, {"--timeout-ms", "3000"});
    dialogs.fileToChoose = path("table.csv");
    row.restore ? form->tableOperations().restore() : form->tableOperations().compare();
    const auto lines = [&](const char *kind) { return journal().count(kind); };
    ASSERT_TRUE(runUntil([&] { return lines(row.phase) >= 2; }, kWait));
    // The operator reads the question while the device talks on; then answers, or not.
    QPointer<QMessageBox> question;
    qsizetype whileOpen = -1;
    QTimer::singleShot(0, form.get(), [&] {
        runUntil([&] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                    question = box;
            return !question.isNull();
        }, kWait);
        const qsizetype before = lines(row.phase);
        runUntil([&] { return !question || lines(row.phase) >= before + 3; }, kWait);
        whileOpen = question ? lines(row.phase) - before : -2;
        if (row.answer && question) question->button(QMessageBox::StandardButton(row.answer))->click();
    });
    form->close();
    ASSERT_TRUE(runUntil([&] { return whileOpen != -1; }, 2 * kWait));
    EXPECT_GE(whileOpen, 3) << "objects done while the question was open (-2: none asked)";
    const bool yes = row.answer == QMessageBox::Yes;
    ASSERT_TRUE(runUntil([&] { return !form->tableOperations().running(); }, kWait));
    ASSERT_TRUE(runUntil([&] { return form->isVisible() != yes; }, kWait));
    EXPECT_TRUE(!question || !question->isVisible()) << "the question outlived its operation";
    const QString ending = form->findChild<OperationDialog *>()->resultText();
    const QByteArray after = stopSim();
    // A stopped Compare lists only what it compared: the even objects among the first.
    const int compared = ending.section(" objects compared", 0, 0).section(' ', -1).toInt();
    if (yes)
        EXPECT_TRUE(ending.contains("\nStopped after ") &&
                    (row.restore || rows(form->findChild<OperationDialog *>()).size() == compared / 2))
            << ending.toStdString();
    else
        EXPECT_EQ(ending, row.restore ? "Written: 30, verified: 30, failed: 0."
                                      : "30 of the 60 objects compared differ from the table.");
    // Every object written is read back; a stopped Restore writes nothing more.
    const qsizetype written = lines(",restore-write,");
    EXPECT_EQ(lines(",restore-verify,"), written);
    qsizetype changed = 0;
    for (int i = 1; i <= 60; ++i)
        if (after[i] != memory[i] && ++changed) {
            EXPECT_EQ(quint8(after[i]), table.objects[i]) << i;
        }
    EXPECT_EQ(changed, written);
}
INSTANTIATE_TEST_SUITE_P(Rows, CloseDuringOperation, ::testing::ValuesIn(kCloseRows),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvel::test
