#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>

#include "cli/exitstatus.h"
#include "cli/summary.h"
#include "outcome/outcome.h"

namespace orvel::cli {

// One subcommand's command line: its options, its --help, and its usage errors.
class CommandLine {
public:
    CommandLine(QString command, QString usage, const QString &description, Summary &summary);

    QCommandLineParser &parser() { return m_parser; }
    Summary &summary() const { return m_summary; }
    const QString &command() const { return m_command; }
    // --port, --log, --json, --quiet.
    void addDeviceOptions();
    // --objects and --list.
    void addObjectOptions();
    // What the usage error names when the positional argument is missing.
    void setMissingPositional(QString text) { m_missing = std::move(text); }

    // `arguments` start with the subcommand. Fails when the command is not to run: Help
    // after --help, Usage after a mistake; nothing is said before halt().
    Done<Halt> parse(const QStringList &arguments, int positionals);
    // Says why the command ends before its work (the help on standard output, a mistake
    // with how to get help on standard error); returns the status to exit with.
    int halt(const Failure<Halt> &failure) const;
    // Says what is wrong and how to get help; returns the usage error status.
    int usageError(const QString &text) const;
    // The cells of --objects (first..last) or of --list.
    Outcome<QList<int>, Halt> objects(int first, int last) const;

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    QStringList positionals() const { return m_parser.positionalArguments(); }

private:
    QString m_command;
    QString m_usage;
    QCommandLineParser m_parser;
    bool m_needsPort = false;
    QString m_missing = QStringLiteral("a table file");
    Summary &m_summary;
};

}  // namespace orvel::cli
