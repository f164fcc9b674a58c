#include "app/objectlistloader.h"
#include "app/valuerecorder.h"
#include "files/regularfile.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>

namespace orvel::test {
namespace {

class ObjectListLoaderTest : public FormTest {
protected:
    QStringList list() const {
        QStringList texts;
        for (int i = 0; i < form->ui().List1->count(); ++i)
            texts.append(form->ui().List1->item(i)->text());
        return texts;
    }

    QTemporaryDir m_dir;
};

// Cancelled, missing, a folder, a pipe without a writer, an endless device: none waits, and
// the list stays. A large file replaces it, duplicates and all, nothing lost or repeated at
// the seams of its chunks and batches (its ends as a read's range: the dialogue test's).
TEST_F(ObjectListLoaderTest, AChosenFileReplacesTheListAndNoOtherChoiceTouchesIt) {
    ui().List1->addItems({"7", "9"});
    const QString fifo = m_dir.filePath("fifo"), large = m_dir.filePath("objects.onf");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::optional<QString> choices[] = {std::nullopt, m_dir.filePath("missing.onf"),
                                              m_dir.path(), fifo, QStringLiteral("/dev/zero")};
    for (const std::optional<QString> &choice : choices) {
        dialogs.fileToChoose = choice;
        QTest::mouseClick(ui().Command1, Qt::LeftButton);
        EXPECT_EQ(list(), (QStringList{"7", "9"})) << choice.value_or("cancel").toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(dialogs.lastRequest.filter, "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    EXPECT_EQ(dialogs.lastRequest.filterIndex, 2);  // object number files are offered first
    QByteArray numbers = "2.5,";
    QStringList expected{"2.5"};
    for (int i = 0; i < 200000; ++i) {
        expected.append(QString::number(i % 8175 + 1));
        numbers += expected.last().toLatin1() + (i % 3 ? "\r\n" : ",");
    }
    ASSERT_TRUE(writeWhole(large, numbers));
    dialogs.fileToChoose = large;
    QTest::mouseClick(ui().Command1, Qt::LeftButton);
    EXPECT_EQ(list(), expected);
}

// A file with more entries than the list takes is cut, and the operator is told. (What a
// file lists is the fuzz target's: its seeds and many more files against an independent
// reading, cut into reads anywhere.)
TEST_F(ObjectListLoaderTest, ListsWhatTheFileHoldsAndSaysWhenCut) {
    const struct {
        const char *name;
        QByteArray file;
        QStringList kept;
        qsizetype capacity = 8175;
        bool cut = false;
    } rows[] = {
        {"empty file", "", {}},
        {"cut at a line end", "1\n2\n3\n4", {"1", "2", "3"}, 3, true},
        {"cut at a comma", "1,2,3,4,5,6,7,8,9", {"1", "2", "3"}, 3, true},
        {"as many as it takes", "1\n2\n3\n", {"1", "2", "3"}, 3},
        {"as many with a skipped line", "1\n2\nx\n3", {"1", "2", "3"}, 3},
        // A whole batch of entries fills the list; what is left has no line end.
        {"full, an item left", QByteArray("1\n").repeated(8192) + "5",
         QStringList(8192, "1"), 8192, true},
    };
    ValueRecorder recorder(form->MSComm1(), form->statusLine());
    Boxes boxes(dialogs, *form, form->MSComm1(), recorder);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        dialogs.messages.clear();
        QByteArray content = row.file;
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
