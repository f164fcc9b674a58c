#pragma once

#include "dialogue/terminaltext.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <chrono>

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
    // changes at once; the widget catches up at the next frame (kFrame), and while replies
    // stream in at most every kSyncPeriod, so a burst costs one layout, not one per reply.
    void appendReply(QStringView text);
    // Brings the widget up to date now.
    void syncDisplay();

    static constexpr std::chrono::milliseconds kFrame{15};
    static constexpr std::chrono::milliseconds kSyncPeriod{100};

private:
    TerminalText m_model;
    QString m_pending;          // shown text not yet in the widget
    bool m_rebuild = false;     // the model was trimmed: the widget is rebuilt whole
    QTimer m_syncTimer;
    QElapsedTimer m_sinceSync;  // since the widget last caught up
};

}  // namespace orvel
