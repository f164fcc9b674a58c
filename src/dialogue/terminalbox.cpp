#include "dialogue/terminalbox.h"

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
    // The widget catches up at most once a frame: a burst of replies is laid out once.
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(std::chrono::milliseconds(15));
    connect(&m_syncTimer, &QTimer::timeout, this, &TerminalBox::syncDisplay);
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
    if (!m_syncTimer.isActive()) m_syncTimer.start();
}

void TerminalBox::syncDisplay() {
    m_syncTimer.stop();
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
