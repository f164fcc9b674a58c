#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace orvel {

// The modal boxes the window opens, behind a seam so tests never block on one.
class Dialogs {
public:
    enum class Icon { None, Exclamation, Critical };
    struct OpenFileRequest {
        QString title;
        QString filter;        // "All Files (*.*)|*.*|Objekts Number Files (*.onf)|*.onf"
        int filterIndex = 1;   // 1-based, as the filter lists its types
    };

    // The boxes of the window of old (a port that does not open or close, a step of the
    // dialogue that fails) keep its title; every other box carries the program's name.
    static inline const QString kOldTitle = QStringLiteral("Orvel prg");
    static inline const QString kTitle = QStringLiteral("Orvel programator");

    virtual ~Dialogs() = default;
    // A message box with one OK button; the program's own boxes let their text be selected.
    virtual void message(QWidget *parent, const QString &title, const QString &text,
                         Icon icon) = 0;
    // About the program: its icon, and the text, which can be selected.
    virtual void about(QWidget *parent, const QString &title, const QString &text) {
        message(parent, title, text, Icon::None);
    }
    // The file-open dialog: the chosen path, or nothing when the operator cancels.
    virtual std::optional<QString> openFile(QWidget *parent, const OpenFileRequest &request) = 0;
    // The file-save dialog, asking before it replaces a file: the chosen path, or nothing.
    virtual std::optional<QString> saveFile(QWidget *parent, const OpenFileRequest &request) {
        Q_UNUSED(parent) Q_UNUSED(request) return std::nullopt;
    }
    // A question with Yes and No, titled "Orvel programator": true for Yes.
    virtual bool question(QWidget *parent, const QString &text) {
        Q_UNUSED(parent) Q_UNUSED(text) return false;
    }
};

// The real boxes.
class QtDialogs final : public Dialogs {
public:
    void message(QWidget *parent, const QString &title, const QString &text,
                 Icon icon) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
    std::optional<QString> openFile(QWidget *parent, const OpenFileRequest &request) override;
    std::optional<QString> saveFile(QWidget *parent, const OpenFileRequest &request) override;
    bool question(QWidget *parent, const QString &text) override;
};

// "Name (*.x)|*.x|Other (*.y)|*.y" as the file dialog's list of types: each description
// followed by its patterns in parentheses ("Name (*.x) (*.x)"), for a dialog that hides
// those last parentheses. *.* becomes *.
QStringList fileDialogFilters(const QString &filter);

}  // namespace orvel
