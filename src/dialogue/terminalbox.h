#pragma once

#include "dialogue/terminaltext.h"

#include <QPlainTextEdit>
#include <QTimer>

namespace orvel {

// The terminal box `txtTerm`: shows what the device sends. Read-only for the operator;
// the dialogue appends at the end and the caret follows.
class TerminalBox final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TerminalBox(QWidget *parent = nullptr);

    // The text with CR LF line breaks, as the dialogue counts it.
    const QString &Text() const { return m_model.text(); }
    qsizetype length() const { return m_model.length(); }
    void clearText();
    // Shows a reply the gate let through: trims when full, filters, appends. The text
    // changes at once; the widget catches up within a frame, so a burst of replies
    // costs one layout, not one per reply.
    void appendReply(QStringView text);
    // Brings the widget up to date now.
    void syncDisplay();

private:
    TerminalText m_model;
    QString m_pending;          // shown text not yet in the widget
    bool m_rebuild = false;     // the model was trimmed: the widget is rebuilt whole
    QTimer m_syncTimer;
};

}  // namespace orvel
