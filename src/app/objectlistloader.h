#pragma once

#include <QObject>

class QIODevice;
class QListWidget;
class QPushButton;

namespace orvel {

class Boxes;

// "Objects num.": fills the object list from an object number file. A cancelled dialog,
// a file that cannot be opened or one that is no regular file changes nothing, silently.
// A file with more entries than the list takes is cut, and the operator is told.
class ObjectListLoader final : public QObject {
    Q_OBJECT
public:
    // The most entries the list takes; loading stops there, keeping what it added.
    static constexpr int kListCapacity = 1'000'000;

    // Loads into `list` when `command` ("Objects num.") is clicked.
    ObjectListLoader(QPushButton *command, QListWidget *list, Boxes &boxes);

    void Command1Clicked();
    // Empties the list and loads it from an opened file, `capacity` entries at most.
    void load(QIODevice &file, qsizetype capacity = kListCapacity);

private:
    QListWidget *m_list;
    Boxes &m_boxes;
};

}  // namespace orvel
