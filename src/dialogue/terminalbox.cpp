#include "dialogue/terminalbox.h"

#include <QMetaObject>
#include <QTextCursor>

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
}

void TerminalBox::clearText() {
    m_model.clear();
    m_pending.clear();
    m_rebuild = false;
    clear();
}

void TerminalBox::appendReply(QStringView text) {
    const QString filtered = filterLineEnds(text);
    if (m_model.append(filtered) > 0) {
        // A trim happens once per 4096 characters: rebuilding the view then is cheaper
        // and simpler than mapping the cut through the widget's own line breaks.
        m_rebuild = true;
        m_pending.clear();
    } else if (!m_rebuild) {
        m_pending += filtered;
    }
    if (!m_syncScheduled) {
        m_syncScheduled = true;
        QMetaObject::invokeMethod(this, &TerminalBox::syncDisplay, Qt::QueuedConnection);
    }
}

void TerminalBox::syncDisplay() {
    m_syncScheduled = false;
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
    m_pending.clear();
    QTextCursor caret = textCursor();
    caret.movePosition(QTextCursor::End);
    setTextCursor(caret);
}

}  // namespace orvel
