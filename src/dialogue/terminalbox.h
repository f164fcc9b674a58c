#pragma once

#include "dialogue/terminaltext.h"

#include <QPlainTextEdit>

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
    // Shows a reply the gate let through: trims when full, filters, appends.
    void appendReply(QStringView text);

private:
    TerminalText m_model;
};

}  // namespace orvel
