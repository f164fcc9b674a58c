#include "app/objectlistloader.h"
#include "app/valuerecorder.h"
#include "support/formfixture.h"

#include <QtTest>
#include <QtWidgets>

#include <sys/stat.h>

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

// A file with more entries than the list takes is cut, and the operator is told.
TEST_F(ObjectListLoaderTest, AListCutAtItsCapacitySaysSo) {
    const QString told = "Only the first 3 object numbers were loaded; the rest of the file "
                         "was not read.";
    const std::tuple<QByteArray, QStringList, bool> rows[] = {
        {"1\n2\n3\n4", {"1", "2", "3"}, true},
        {"1,2,3,4,5,6,7,8,9", {"1", "2", "3"}, true},
        {"1\n2\n3\n", {"1", "2", "3"}, false},
        {"1\n2\nx\n3", {"1", "2", "3"}, false},
    };
    ValueRecorder recorder(form->MSComm1(), form->statusLine());
    Boxes boxes(dialogs, *form, form->MSComm1(), recorder);
    for (auto [content, kept, cut] : rows) {
        SCOPED_TRACE(content.toStdString());
        dialogs.messages.clear();
        QBuffer file(&content);
        file.open(QIODevice::ReadOnly);
        ObjectListLoader(ui().Command1, ui().List1, boxes).load(file, 3);
        EXPECT_EQ(list(), kept);
        EXPECT_EQ(dialogs.messages, cut ? QStringList{told} : QStringList{});
    }
}

}  // namespace
}  // namespace orvel::test
