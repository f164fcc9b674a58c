#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <optional>

namespace orvel::cli {

// One subcommand's command line: its options, its --help, and its usage errors.
class CommandLine {
public:
    CommandLine(QString command, QString usage, const QString &description);

    QCommandLineParser &parser() { return m_parser; }
    const QString &command() const { return m_command; }
    // --port, --log, --json, --quiet.
    void addDeviceOptions();
    // --objects and --list.
    void addObjectOptions();

    // `arguments` start with the subcommand. The status to end with when the command is not
    // to run: 0 after --help, 2 after a mistake (said on standard error).
    // `missing` names the file a missing positional argument stands for.
    std::optional<int> parse(const QStringList &arguments, int positionals,
                             const QString &missing = QStringLiteral("a table file"));
    // Says what is wrong and how to get help; returns the usage error status.
    int usageError(const QString &text) const;
    // The cells of --objects (first..last) or of --list; nothing after a usage error.
    std::optional<QList<int>> objects(int first, int last) const;

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList positionals() const { return m_parser.positionalArguments(); }

private:
    QString m_command;
    QString m_usage;
    QCommandLineParser m_parser;
    bool m_needsPort = false;
};

}  // namespace orvel::cli
