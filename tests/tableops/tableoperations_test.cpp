// Save table, Compare with table and Restore table in the window, the device played
// byte by byte on an in-memory port.
#include "tableops/tableoperations.h"

#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/lampimage.h"
#include "serial/mscomm.h"
#include "support/formfixture.h"
#include "tableops/operationdialog.h"

namespace orvel::test {
namespace {

constexpr char kHeader[] = "# Orvel device table\n# read: 2026-12-07T05:12:00Z\n# port: COM 1\n";

TEST(Differences, NameTheTablesObjectsThatTheDeviceHoldsOtherwise) {
    const Table table{{}, {}, {{1, 0}, {2, 1}, {7, 172}, {8175, 5}}, {{8176, 3}}};
    const struct {
        const char *name;
        std::map<int, quint8> device;
        std::vector<std::array<int, 3>> expected;  // object, device, table
    } rows[] = {
        {"the same values", {{1, 0}, {2, 1}, {7, 172}, {8175, 5}}, {}},
        {"two differ, in object order",
         {{8175, 4}, {1, 1}, {2, 1}, {7, 172}},
         {{1, 1, 0}, {8175, 4, 5}}},
        {"objects not read are left out", {{7, 0}}, {{7, 0, 172}}},
        {"objects and cells outside the table are left out", {{3, 9}, {8176, 9}, {2, 1}}, {}},
        {"nothing read", {}, {}},
    };
    for (const auto &row : rows) {
        std::vector<std::array<int, 3>> found;
        for (const Difference &d : differences(table, row.device))
            found.push_back({d.object, d.device, d.file});
        EXPECT_EQ(found, row.expected) << row.name;
    }
}

class TableOperationsTest : public FormTest {
protected:
    QString file(const QByteArray &contents) {
        const QString path = dir.filePath(QString::number(++files) + ".csv");
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(contents) == contents.size());
        return path;
    }
    OperationDialog *dialog() { return form->findChild<OperationDialog *>(); }
    QList<QAction *> deviceActions() {
        QList<QAction *> actions;
        for (QAction *action : form->findChild<QMenuBar *>()->actions())
            if (action->text() == "&Device") actions = action->menu()->actions();
        return actions.mid(0, 2);  // Compare with table…, Restore table…
    }

    QTemporaryDir dir;
    int files = 0;
};

// A file that cannot serve starts nothing on the device and says why, naming the first
// ten rejected lines and counting them all.
TEST_F(TableOperationsTest, AFileThatCannotServeStartsNothingAndSaysWhy) {
    QByteArray twelveBad = QByteArray(kHeader) + "object,value\n";
    for (int i = 1; i <= 12; ++i) twelveBad += "0" + QByteArray::number(i) + ",1\n";
    const struct {
        const char *name;
        std::optional<QByteArray> contents;  // none: the file is missing
        QStringList said;                    // in the one message, in this order
    } rows[] = {
        {"missing", std::nullopt, {"could not be opened"}},
        {"no object", QByteArray(kHeader) + "object,value\n", {"holds no object."}},
        {"a repeated object and CR LF",
         QByteArray(kHeader) + "object,value\n1,1\n1,0\n2,1\r\n",
         {"is not used: 2 of its lines are not those of a table file.",
          "line 6: object 1 appears twice", "line 7: the line ends with CR"}},
        {"twelve rejected lines",
         twelveBad,
         {"12 of its lines", "line 5: 01 has a leading zero", "line 14: 010 has a leading zero"}},
    };
    connectPort();
    for (const auto &row : rows) {
        for (void (TableOperations::*operation)() :
             {&TableOperations::compare, &TableOperations::restore}) {
            SCOPED_TRACE(row.name);
            dialogs.messages.clear();
            dialogs.fileToChoose = row.contents ? file(*row.contents) : dir.filePath("missing.csv");
            (form->tableOperations().*operation)();
            EXPECT_FALSE(form->tableOperations().running());
            ASSERT_EQ(dialogs.messages.size(), 1);
            const QString &message = dialogs.messages[0];
            qsizetype at = 0;
            for (const QString &part : row.said) {
                at = message.indexOf(part, at);
                EXPECT_GE(at, 0) << part.toStdString() << " in " << message.toStdString();
            }
            EXPECT_FALSE(message.contains("line 15:")) << message.toStdString();
            reply({172, 172, 202});
            EXPECT_TRUE(takeSent().isEmpty());
        }
    }
    dialogs.fileToChoose.reset();  // the operator cancels
    dialogs.messages.clear();
    form->tableOperations().compare();
    EXPECT_FALSE(form->tableOperations().running());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(TableOperationsTest, SavingBeforeAnythingWasReadSaysSoAndAsksForNoFile) {
    dialogs.fileToChoose = dir.filePath("table.csv");
    form->tableOperations().saveTable();
    EXPECT_EQ(dialogs.fileDialogs, 0);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].startsWith("Nothing has been read yet"));
    EXPECT_FALSE(QFile::exists(dir.filePath("table.csv")));
}

// Compare reads the table's objects, shows those that differ and saves them; the device
// is played byte by byte.
TEST_F(TableOperationsTest, CompareShowsAndSavesTheDifferences) {
    connectPort();
    dialogs.fileToChoose = file(QByteArray(kHeader) + "object,value\n2,5\n300,1\n");
    form->tableOperations().compare();
    ASSERT_TRUE(form->tableOperations().running());
    EXPECT_FALSE(ui().Frame2->isEnabled());
    for (const int value : {9, 1}) reply({172, 172, 202, 202, value});
    EXPECT_EQ(takeSent(), bytes({0x55, 0, 2, 0x55, 1, 44}));
    ASSERT_FALSE(form->tableOperations().running());
    EXPECT_TRUE(ui().Frame2->isEnabled());
    ASSERT_NE(dialog(), nullptr);
    EXPECT_EQ(dialog()->resultText(), "1 of the 2 objects read differ from the table.");
    const QTableWidget *rows = dialog()->findChild<QTableWidget *>();
    ASSERT_EQ(rows->rowCount(), 1);
    EXPECT_EQ(rows->item(0, 0)->text() + rows->item(0, 1)->text() + rows->item(0, 2)->text(),
              "295");

    dialogs.fileToChoose = dir.filePath("differences.csv");
    for (QPushButton *button : dialog()->findChildren<QPushButton *>())
        if (button->text() == "&Save differences…") button->click();
    QFile saved(dir.filePath("differences.csv"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "object,device,table\n2,9,5\n");
}

// Closing the dialog while the operation runs stops it: the operator sees where.
TEST_F(TableOperationsTest, ClosingTheDialogStopsTheOperation) {
    connectPort();
    dialogs.fileToChoose = file(QByteArray(kHeader) + "object,value\n2,5\n3,1\n");
    form->tableOperations().restore();
    ASSERT_TRUE(form->tableOperations().running());
    ASSERT_NE(dialog(), nullptr);
    dialog()->close();
    EXPECT_FALSE(form->tableOperations().running());
    ASSERT_TRUE(dialog() && dialog()->isVisible());
    EXPECT_EQ(dialog()->resultText(), "Nothing is written.\nStopped after 0 of 2 objects.");
    reply({172, 172});
    EXPECT_TRUE(takeSent().isEmpty());
    dialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dialog(), nullptr);
}

// Compare and Restore need the device to themselves: connected and no transfer running.
TEST_F(TableOperationsTest, CompareAndRestoreAreOfferedOnlyWithTheDeviceFree) {
    const QList<QAction *> actions = deviceActions();
    ASSERT_EQ(actions.size(), 2);
    const auto offered = [&] {
        return QString::number(actions[0]->isEnabled()) + QString::number(actions[1]->isEnabled());
    };
    EXPECT_EQ(offered(), "00");
    connectPort();
    EXPECT_EQ(offered(), "11");
    dialogs.fileToChoose = file(QByteArray(kHeader) + "object,value\n2,5\n");
    form->tableOperations().compare();
    EXPECT_EQ(offered(), "00");
    reply({172, 172, 202, 202, 5});
    EXPECT_EQ(offered(), "11");
    emit ui().imgConnected->clicked();
    EXPECT_EQ(offered(), "00");
}

}  // namespace
}  // namespace orvel::test
