#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <vector>

// What each object of a device means: its name, its group, the values it may hold and
// what they mean, and whether a table may write it (docs/profile-format.md).
namespace orvel {

enum class Access {
    ReadWrite,
    ReadOnly,  // the device's own value (a firmware build, say): compared, never written
    Keep,      // belongs to the unit (its own number, say): compared, never copied from a table
};

// The values an object may hold: low to high, or only those of a list, each with its meaning.
struct ProfileValues {
    int low = 0;
    int high = 255;
    std::map<int, QString> meanings;  // the list; empty for a range

    bool operator==(const ProfileValues &) const = default;
};

// One row of a profile: objects first to last, named prefix + counter + suffix, where the
// counter is `start` at `first` and counts up by one ("Door {n:5}": "Door ", 5, "").
struct ProfileRow {
    int first = 0;
    int last = 0;
    QString prefix;
    bool counted = false;  // without a counter the name is the prefix alone
    int start = 1;
    QString suffix;
    QString group;  // may be empty
    ProfileValues values;
    Access access = Access::ReadWrite;
    QString note;  // may be empty

    bool operator==(const ProfileRow &) const = default;
    QString objectName(int object) const;
};

class Profile {
public:
    struct Counts {
        int named = 0;
        int unnamed = 0;
        int readOnly = 0;
        int kept = 0;
    };

    Profile() = default;
    // `rows` as parseProfile accepts them: objects within 1 to 8175, none in two rows (of
    // two, the later is looked up; profileBytes writes both, and the reader refuses that).
    // `sha256` is the file's digest in lower-case hex.
    Profile(QString name, QString version, std::vector<ProfileRow> rows, QByteArray sha256 = {});

    const QString &name() const { return m_name; }
    const QString &version() const { return m_version; }
    const QByteArray &sha256() const { return m_sha256; }
    const std::vector<ProfileRow> &rows() const { return m_rows; }

    // The row that names `object`; nullptr for an unnamed object or a number that is none.
    const ProfileRow *row(int object) const;
    bool isNamed(int object) const { return row(object) != nullptr; }
    // "Door 3 enabled"; empty when unnamed.
    QString objectName(int object) const;
    // Empty when unnamed or the row gives none.
    QString group(int object) const;
    // ReadWrite when unnamed.
    Access access(int object) const;
    // Read-only or keep: a table's value is compared, never written.
    bool isProtected(int object) const { return access(object) != Access::ReadWrite; }
    // Whether `value` is one the object may hold; any of 0 to 255 when unnamed.
    bool allows(int object, int value) const;
    // What `value` means for the object ("on"); empty when its values are a range, the list
    // does not hold it, or the object is unnamed.
    QString meaning(int object, int value) const;
    // The values the object may hold as the file writes them: "0=off;1=on" or "0-255".
    QString valuesText(int object) const;
    // Every group named, each once, in the order of the rows.
    QStringList groups() const;
    Counts counts() const;

private:
    QString m_name;
    QString m_version;
    QByteArray m_sha256;
    std::vector<ProfileRow> m_rows;
    std::vector<std::uint16_t> m_rowOf;  // object -> its row's index + 1; 0 when unnamed
};

QString valuesText(const ProfileValues &values);

}  // namespace orvel
