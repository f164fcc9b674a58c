#include "app/terminalbox.h"

#include <QTextCursor>

#include <algorithm>

namespace orvel {
namespace {

QString forDisplay(QStringView text) {
    QString shown = text.toString();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.remove(u'\r');
    return shown;
}

}  // namespace

TerminalBox::TerminalBox(QWidget *parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &TerminalBox::syncDisplay);
    m_sinceSync.start();
}

void TerminalBox::clearText() {
    m_model.clear();
    m_pending.resize(0);
    m_rebuild = false;
    clear();
}

void TerminalBox::appendReply(QStringView text) {
    if (m_model.appendFiltering(text) > 0) {
        // A trim happens once per 4096 characters: rebuilding the view then is cheaper
        // and simpler than mapping the cut through the widget's own line breaks.
        m_rebuild = true;
        m_pending.resize(0);
    } else if (!m_rebuild) {
        appendLineEndsFiltered(m_pending, text);
    }
    if (m_syncTimer.isActive()) return;
    // The widget catches up at the next frame, but while replies stream in (a transfer) at
    // most every kSyncPeriod: a person cannot read faster, and each catch-up lays out and
    // repaints the box while the device waits for its answer.
    const auto sinceSync = std::chrono::milliseconds(m_sinceSync.elapsed());
    m_syncTimer.start(std::max(kFrame, kSyncPeriod - sinceSync));
}

void TerminalBox::syncDisplay() {
    m_syncTimer.stop();
    m_sinceSync.restart();
    if (m_rebuild) {
        setPlainText(forDisplay(m_model.text()));
    } else if (!m_pending.isEmpty()) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(forDisplay(m_pending));
    } else {
        return;
    }
    m_rebuild = false;
    m_pending.resize(0);
    QTextCursor caret = textCursor();
    caret.movePosition(QTextCursor::End);
    setTextCursor(caret);
}

}  // namespace orvel
