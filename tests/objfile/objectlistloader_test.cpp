// "Objects num." through the file-dialog seam: what reaches the list, and what a
// cancelled dialog, a missing file or a failing read leave behind.
#include "objfile/objectlistloader.h"
#include "support/formfixture.h"

#include <QListWidget>
#include <QPushButton>
#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace orvel::test {
namespace {

// A file that gives `good` and then fails, as a disk or a pulled stick would.
class FailingFile final : public QIODevice {
public:
    explicit FailingFile(QByteArray good) : m_good(std::move(good)) { open(ReadOnly); }

protected:
    qint64 readData(char *data, qint64 size) override {
        if (m_position >= m_good.size()) return -1;
        const qint64 n = std::min<qint64>(size, m_good.size() - m_position);
        memcpy(data, m_good.constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
    bool isSequential() const override { return true; }

private:
    QByteArray m_good;
    qint64 m_position = 0;
};

class ObjectListLoaderTest : public FormTest {
protected:
    // Lets the operator choose a file with `content` and clicks "Objects num.".
    void load(const QByteArray &content) {
        const QString path = m_dir.filePath(QString::number(++m_files));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        dialogs.fileToChoose = path;
        QTest::mouseClick(ui().Command1, Qt::LeftButton);
    }
    QStringList list() const {
        QStringList texts;
        for (int i = 0; i < form->ui().List1->count(); ++i)
            texts.append(form->ui().List1->item(i)->text());
        return texts;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

TEST_F(ObjectListLoaderTest, LoadsTheAcceptedNumbersInFileOrder) {
    load("5\r\nabc\r\n0\r\n8175\r\n8176\r\n12\r\n");
    EXPECT_EQ(list(), (QStringList{"5", "8175", "12"}));
    EXPECT_EQ(dialogs.lastRequest.filter, "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    EXPECT_EQ(dialogs.lastRequest.filterIndex, 2);  // object number files are offered first
    EXPECT_TRUE(dialogs.messages.isEmpty());
    // A second file replaces the first, duplicates and all.
    load("3,4,3\n2.5");
    EXPECT_EQ(list(), (QStringList{"3", "4", "3", "2.5"}));
}

TEST_F(ObjectListLoaderTest, CancelAndMissingFilesLeaveTheListAlone) {
    ui().List1->addItems({"7", "9"});
    const QString fifo = m_dir.filePath("fifo");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // Cancelled, a missing file, a folder, a pipe without a writer (opening it would wait
    // for one) and a device that never ends: each returns at once.
    const std::optional<QString> choices[] = {std::nullopt, m_dir.filePath("missing.onf"),
                                              m_dir.path(), fifo, QStringLiteral("/dev/zero")};
    for (const std::optional<QString> &choice : choices) {
        dialogs.fileToChoose = choice;
        QTest::mouseClick(ui().Command1, Qt::LeftButton);
        EXPECT_EQ(list(), (QStringList{"7", "9"})) << choice.value_or("cancel").toStdString();
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(dialogs.fileDialogs, 5);
}

TEST_F(ObjectListLoaderTest, AReadFailureKeepsWhatWasAddedAndTheNextLoadWorks) {
    ui().List1->addItem("99");
    FailingFile failing("1\n2\n3\n4");
    ObjectListLoader(*form).load(failing);
    // The last item may have been cut by the failure: it is not taken.
    EXPECT_EQ(list(), (QStringList{"1", "2", "3"}));
    load("8\n");
    EXPECT_EQ(list(), (QStringList{"8"}));
}

// A file with more entries than the list takes is cut, and the operator is told.
TEST_F(ObjectListLoaderTest, AListCutAtItsCapacitySaysSo) {
    const QString told = "Only the first 3 object numbers were loaded; the rest of the file "
                         "was not read.";
    const std::tuple<QByteArray, QStringList, bool> rows[] = {
        {"1\n2\n3\n4\n", {"1", "2", "3"}, true},
        {"1\n2\n3\n4", {"1", "2", "3"}, true},
        {"1,2,3,4,5,6,7,8,9", {"1", "2", "3"}, true},
        {"1\n2\n3\n", {"1", "2", "3"}, false},
        {"1\n2\nx\n3", {"1", "2", "3"}, false},
        {"1\n2\n", {"1", "2"}, false},
    };
    for (auto [content, kept, cut] : rows) {
        SCOPED_TRACE(content.toStdString());
        dialogs.messages.clear();
        QBuffer file(&content);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ObjectListLoader(*form).load(file, 3);
        EXPECT_EQ(list(), kept);
        EXPECT_EQ(dialogs.messages, cut ? QStringList{told} : QStringList{});
    }
}

// Many chunks and batches: nothing lost or repeated at their seams.
TEST_F(ObjectListLoaderTest, ALargeFileLoadsWhole) {
    QByteArray numbers;
    QStringList expected;
    for (int i = 0; i < 200000; ++i) {
        expected.append(QString::number(i % 8175 + 1));
        numbers += expected.last().toLatin1() + (i % 3 ? "\r\n" : ",");
    }
    load(numbers);
    EXPECT_EQ(list(), expected);
}

}  // namespace
}  // namespace orvel::test
