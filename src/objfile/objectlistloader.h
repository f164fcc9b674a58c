#pragma once

#include <QObject>

class QIODevice;

namespace orvel {

class FrmTerminal;

// "Objects num.": fills the object list from an object number file. Nothing is ever
// reported: a cancelled dialog, a file that cannot be opened or one that is no regular
// file changes nothing.
class ObjectListLoader final : public QObject {
    Q_OBJECT
public:
    // The most entries the list takes; loading stops there, keeping what it added.
    static constexpr int kListCapacity = 1'000'000;

    explicit ObjectListLoader(FrmTerminal &form);

    void Command1Clicked();
    // Empties the list and loads it from an opened file.
    void load(QIODevice &file);

private:
    FrmTerminal &m_form;
};

}  // namespace orvel
