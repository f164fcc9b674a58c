// "Objects num." through the file-dialog seam: what reaches the list, and what a
// cancelled dialog, a missing file or a failing read leave behind.
#include "objfile/objectlistloader.h"
#include "support/formfixture.h"

#include <QBuffer>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace orvel::test {
namespace {

QStringList entries(const QListWidget *list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts.append(list->item(i)->text());
    return texts;
}

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
    QString writeFile(const QString &name, const QByteArray &content) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    void clickObjectsNum() { QTest::mouseClick(ui().Command1, Qt::LeftButton); }
    QStringList list() const { return entries(form->ui().List1); }

    QTemporaryDir m_dir;
};

TEST_F(ObjectListLoaderTest, LoadsTheAcceptedNumbersInFileOrder) {
    dialogs.fileToChoose = writeFile("a.onf", "5\r\nabc\r\n0\r\n8175\r\n8176\r\n12\r\n");
    clickObjectsNum();
    EXPECT_EQ(list(), (QStringList{"5", "8175", "12"}));
    EXPECT_EQ(dialogs.lastRequest.filter,
              "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    EXPECT_EQ(dialogs.lastRequest.filterIndex, 2);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A second file replaces the first, duplicates and all.
    dialogs.fileToChoose = writeFile("b.onf", "3,4,3\n2.5");
    clickObjectsNum();
    EXPECT_EQ(list(), (QStringList{"3", "4", "3", "2.5"}));
}

TEST_F(ObjectListLoaderTest, CancelAndMissingFilesLeaveTheListAlone) {
    ui().List1->addItems({"7", "9"});
    struct Row {
        const char *what;
        std::optional<QString> choice;
    };
    const Row rows[] = {{"cancel", std::nullopt},
                        {"missing file", m_dir.filePath("does-not-exist.onf")},
                        {"a folder", m_dir.path()}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        dialogs.fileToChoose = row.choice;
        clickObjectsNum();
        EXPECT_EQ(list(), (QStringList{"7", "9"}));
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    EXPECT_EQ(dialogs.fileDialogs, 3);
}

TEST_F(ObjectListLoaderTest, AReadFailureKeepsWhatWasAddedAndTheNextLoadWorks) {
    ui().List1->addItem("99");
    FailingFile failing("1\n2\n3\n4");
    ObjectListLoader loader(*form);
    loader.load(failing);
    // The last item may have been cut by the failure: it is not taken.
    EXPECT_EQ(list(), (QStringList{"1", "2", "3"}));

    dialogs.fileToChoose = writeFile("c.onf", "8\n");
    clickObjectsNum();
    EXPECT_EQ(list(), (QStringList{"8"}));
}

TEST_F(ObjectListLoaderTest, LargeAndHostileFilesLoadWhatIsValid) {
    QByteArray numbers;
    for (int i = 0; i < 200000; ++i) numbers += QByteArray::number(i % 8175 + 1) + "\r\n";
    dialogs.fileToChoose = writeFile("big.onf", numbers);
    clickObjectsNum();
    ASSERT_EQ(ui().List1->count(), 200000);
    EXPECT_EQ(ui().List1->item(199999)->text(), QString::number(199999 % 8175 + 1));

    QByteArray hostile(1 << 20, '\0');
    for (int i = 0; i < hostile.size(); ++i) hostile[i] = char((i * 131) % 256);
    hostile += "\n42\n";
    hostile.insert(0, QByteArray(3 << 20, '7'));  // one 3 MB item, out of range
    dialogs.fileToChoose = writeFile("hostile.onf", hostile);
    clickObjectsNum();
    EXPECT_TRUE(list().contains("42"));
    for (const QString &entry : list()) {
        bool ok = false;
        const double value = entry.toDouble(&ok);
        EXPECT_TRUE(ok && value > 0 && value < 8176) << entry.toStdString();
    }
}

}  // namespace
}  // namespace orvel::test
