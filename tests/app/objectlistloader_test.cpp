#include "app/objectlistloader.h"
#include "app/valuerecorder.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>

#include <string>

namespace orvel::test {
namespace {

class ObjectListLoaderTest : public FormTest {
protected:
    // The operator chooses a file with `content` after clicking "Objects num.".
    void load(const QByteArray &content) {
        QFile file(m_dir.filePath("objects.onf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        dialogs.fileToChoose = file.fileName();
        file.close();
        QTest::mouseClick(ui().Command1, Qt::LeftButton);
    }
    QStringList list() const {
        QStringList texts;
        for (int i = 0; i < form->ui().List1->count(); ++i)
            texts.append(form->ui().List1->item(i)->text());
        return texts;
    }

    QTemporaryDir m_dir;
};

TEST_F(ObjectListLoaderTest, LoadsTheAcceptedNumbersInFileOrder) {
    load("5\r\nabc\r\n0\r\n8175\r\n8176\r\n12\r\n");
    EXPECT_EQ(list(), (QStringList{"5", "8175", "12"}));
    EXPECT_EQ(dialogs.lastRequest.filter, "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    EXPECT_EQ(dialogs.lastRequest.filterIndex, 2);  // object number files are offered first
    // A read from the list shows its first and last entries as its range.
    connectPort();
    ui().Check4->setChecked(true);
    ui().Option2[1]->setChecked(true);
    EXPECT_EQ(ui().Text1->text() + "-" + ui().Text2->text(), "5-12");
    ui().Option2[2]->setChecked(true);
    // A second, large file replaces the first, duplicates and all, nothing lost or repeated
    // at the seams of its chunks and batches.
    QByteArray numbers = "2.5,";
    QStringList expected{"2.5"};
    for (int i = 0; i < 200000; ++i) {
        expected.append(QString::number(i % 8175 + 1));
        numbers += expected.last().toLatin1() + (i % 3 ? "\r\n" : ",");
    }
    load(numbers);
    EXPECT_EQ(list(), expected);
}

TEST_F(ObjectListLoaderTest, CancelAndMissingFilesLeaveTheListAlone) {
    ui().List1->addItems({"7", "9"});
    const QString fifo = m_dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Cancelled, missing, a folder, a pipe without a writer, an endless device: none waits.
    const std::optional<QString> choices[] = {std::nullopt, m_dir.filePath("missing.onf"),
                                              m_dir.path(), fifo, QStringLiteral("/dev/zero")};
    for (const std::optional<QString> &choice : choices) {
        dialogs.fileToChoose = choice;
        QTest::mouseClick(ui().Command1, Qt::LeftButton);
        EXPECT_EQ(list(), (QStringList{"7", "9"})) << choice.value_or("cancel").toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// What a file lists, in file order (the fuzz target holds many more files against an
// independent reading, cut into reads anywhere); a file with more entries than the list
// takes is cut, and the operator is told.
TEST_F(ObjectListLoaderTest, ListsWhatIsNumericAndInRangeAndSaysWhenCut) {
    using namespace std::string_literals;  // "..."s: the whole literal, NUL bytes included
    const struct {
        const char *name;
        std::string file;
        QStringList kept;
        qsizetype capacity = 8175;
        bool cut = false;
    } rows[] = {
        {"empty file", "", {}},
        {"commas and line ends", "1,2\r\n3\r\n,4,,\r\n5\n6\r7\n\r8",
         {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"negative and blank", "\r\n\r\n\n\r,,-3\r\n \t \r\n7\r\n-0.5\r\n", {"7"}},
        {"value text", "007\r\n2.50\r\n+3\r\n1E3\r\n.5\r\n1.\r\n2,5\r\n",
         {"7", "2.5", "3", "1000", "0.5", "1", "2", "5"}},
        {"range edges",
         "0\r\n-0\r\n0.0001\r\n1\r\n8175.75\r\n8176\r\n8176.0\r\n8.176e3\r\n1E-400\r\n1E999\r\n",
         {"0.0001", "1", "8175.75"}},
        {"blanks around items", " \t5 \t,\t6  \r\n  7\r\n8\t", {"5", "6", "7", "8"}},
        {"not numbers, other blanks and 8-bit text",
         "1e\r\n.\r\n-\r\n+\r\n1.2.3\r\n12abc\r\n0x10\r\n1 2\r\n1e 3\r\nabc\r\n"
         "\v5\r\n5\f\r\n\xA0" "5\r\n\xFF\xFE" "5\r\n\xE9\r\n5\xB2\r\n", {}},
        {"quoted", "\" 8\"\r\n\"007\"\r\n\"2.50 \"\r\n\"8176\"\r\n\"0\"\r\n\"abc\"\r\n\"\"\r\n"
         "  \"9\"  \r\n\"5\" junk,6\r\n\"7\"8\r\n\"3,4\",5\r\n",
         {" 8", "007", "2.50 ", "9", "5", "6", "7", "5"}},
        {"line end or quote inside", "\"1\r\n\",2\r\n\"3\n4\"\r\n4\"2\"\r\n5", {"2", "5"}},
        {"quote left open", "1\r\n\"42", {"1", "42"}},
        {"quote left open over lines", "\"4\r\n2", {}},
        {"NUL", "5\0\r\n\0" "6\r\n\0\r\n7\r\n4\0" "4\r\n\"5\0\"\r\n\"6\"\0\r\n"s, {"7", "6"}},
        {"cut at a line end", "1\n2\n3\n4", {"1", "2", "3"}, 3, true},
        {"cut at a comma", "1,2,3,4,5,6,7,8,9", {"1", "2", "3"}, 3, true},
        {"as many as it takes", "1\n2\n3\n", {"1", "2", "3"}, 3},
        {"as many with a skipped line", "1\n2\nx\n3", {"1", "2", "3"}, 3},
        // A whole batch of entries fills the list; what is left has no line end.
        {"full, an item left", QByteArray("1\n").repeated(8192).toStdString() + "5",
         QStringList(8192, "1"), 8192, true},
    };
    ValueRecorder recorder(form->MSComm1(), form->statusLine());
    Boxes boxes(dialogs, *form, form->MSComm1(), recorder);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        dialogs.messages.clear();
        QByteArray content = QByteArray::fromStdString(row.file);
        QBuffer file(&content);
        file.open(QIODevice::ReadOnly);
        ObjectListLoader(ui().Command1, ui().List1, boxes).load(file, row.capacity);
        EXPECT_EQ(list(), row.kept);
        const QString told = QStringLiteral("Only the first %1 object numbers were loaded; the "
                                            "rest of the file was not read.").arg(row.capacity);
        EXPECT_EQ(dialogs.messages, row.cut ? QStringList{told} : QStringList{});
    }
}

}  // namespace
}  // namespace orvel::test
