#include "objfile/objectlistloader.h"

#include "app/frmterminal.h"
#include "objfile/onfparser.h"

#include <QFile>
#include <QListWidget>
#include <QPushButton>

namespace orvel {
namespace {

constexpr qint64 kChunk = 1 << 16;
constexpr qsizetype kBatch = 8192;  // entries added to the list in one go

}  // namespace

ObjectListLoader::ObjectListLoader(FrmTerminal &form) : m_form(form) {
    connect(form.ui().Command1, &QPushButton::clicked, this, &ObjectListLoader::Command1Clicked);
}

void ObjectListLoader::Command1Clicked() {
    Dialogs::OpenFileRequest request;
    request.title = QStringLiteral("Objekts Number File");
    request.filter = QStringLiteral("All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf");
    request.filterIndex = 2;
    const std::optional<QString> path = m_form.openFileDialog(request);
    if (!path) return;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) return;
    load(file);
}  // the file is closed here, however loading ended

void ObjectListLoader::load(QIODevice &file) {
    QListWidget *list = m_form.ui().List1;
    list->clear();
    OnfParser parser;
    QStringList entries;
    qsizetype room = kListCapacity;
    auto flush = [&] {
        if (entries.size() > room) entries.resize(room);
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
}

}  // namespace orvel
