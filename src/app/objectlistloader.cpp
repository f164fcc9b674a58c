#include "app/objectlistloader.h"

#include "app/boxes.h"
#include "files/regularfile.h"
#include "objfile/onfparser.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace orvel {
namespace {

constexpr qint64 kChunk = 1 << 16;
constexpr qsizetype kBatch = 8192;  // entries added to the list in one go

// Emptying a long list frees its items, but the C library keeps the freed pages (some
// 230 MB after a million entries); they are given back to the system here.
void emptyList(QListWidget *list) {
    const bool wasLong = list->count() >= kBatch;
    list->clear();
#ifdef __GLIBC__
    if (wasLong) malloc_trim(0);
#else
    Q_UNUSED(wasLong);
#endif
}

}  // namespace

ObjectListLoader::ObjectListLoader(QPushButton *command, QListWidget *list, Boxes &boxes)
    : m_list(list), m_boxes(boxes) {
    connect(command, &QPushButton::clicked, this, &ObjectListLoader::Command1Clicked);
}

void ObjectListLoader::Command1Clicked() {
    Dialogs::OpenFileRequest request;
    request.title = QStringLiteral("Objekts Number File");
    request.filter = QStringLiteral("All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    request.filterIndex = 2;
    const std::optional<QString> path = m_boxes.openFileDialog(request);
    if (!path) return;
    // A pipe would block the window until a writer came, and a device such as /dev/zero
    // never ends: only a regular file is read.
    const auto fd = openRegularFile(*path);
    if (!fd) return;
    QFile file;
    if (!file.open(*fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*fd);
        return;
    }
    load(file);
}  // the file is closed here, however loading ended

void ObjectListLoader::load(QIODevice &file, qsizetype capacity) {
    QListWidget *list = m_list;
    emptyList(list);
    OnfParser parser;
    QStringList entries;
    qsizetype room = capacity;
    bool dropped = false;
    auto flush = [&] {
        if (entries.size() > room) {
            entries.resize(room);
            dropped = true;
        }
        room -= entries.size();
        list->addItems(entries);
        entries.clear();
    };
    QByteArray buffer(kChunk, Qt::Uninitialized);
    bool complete = true;
    while (room > 0) {
        const qint64 n = file.read(buffer.data(), kChunk);
        if (n <= 0) {
            complete = n == 0;  // -1: the read failed, and a cut last item is not taken
            break;
        }
        parser.feed(QByteArrayView(buffer.constData(), n), entries);
        if (entries.size() >= kBatch) flush();
    }
    if (complete && room > 0) parser.finish(entries);
    flush();
    if (room == 0 && !dropped) {
        // Full: was there more? Unread bytes, or a last item without a line end.
        QStringList last;
        if (file.atEnd()) parser.finish(last);
        dropped = !file.atEnd() || !last.isEmpty();
    }
    if (dropped) {
        m_boxes.messageBox(QStringLiteral("Only the first %1 object numbers were loaded; the "
                                          "rest of the file was not read.")
                               .arg(capacity),
                           Dialogs::Icon::Exclamation);
    }
}

}  // namespace orvel
