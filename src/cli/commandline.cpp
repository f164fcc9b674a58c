#include "cli/commandline.h"

#include <cstdio>

#include "cli/objectselection.h"
#include "files/regularfile.h"
#include "objfile/onfparser.h"

namespace orvel::cli {
namespace {

// An object number file of every object many times over is still far below this.
constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;

constexpr qsizetype kHelpWidth = 79;

QString wrapped(const QString &text) {
    QString out;
    qsizetype lineLength = 0;
    for (const QString &word : text.split(u' ')) {
        if (lineLength > 0 && lineLength + 1 + word.size() > kHelpWidth) {
            out += u'\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            out += u' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    return out;
}

void print(std::FILE *out, const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), out);
}

// Why --objects names no objects, in the command's words.
QString rangeFailureText(const Failure<RangeFailure> &failure, int first, int last) {
    switch (failure.why) {
        case RangeFailure::Empty:
            return QStringLiteral("no objects are given");
        case RangeFailure::NotANumber:
            return QStringLiteral("'%1' is neither a number nor a range like 30-40")
                .arg(failure.words);
        case RangeFailure::Backwards:
            return QStringLiteral("the range %1 runs backwards").arg(failure.words);
        case RangeFailure::OutOfBounds:
            break;
    }
    return QStringLiteral("%1 lies outside %2 to %3").arg(failure.words).arg(first).arg(last);
}

}  // namespace

CommandLine::CommandLine(QString command, QString usage, const QString &description,
                         Summary &summary)
    : m_command(std::move(command)), m_usage(std::move(usage)), m_summary(summary) {
    m_parser.setApplicationDescription(wrapped(description));
    m_parser.addHelpOption();
}

void CommandLine::addDeviceOptions() {
    m_needsPort = true;
    m_parser.addOptions({
        {"port",
         "The port: COM1 to COM4 (as the window maps them), a device such as "
         "/dev/ttyUSB0, or a name under /dev/serial/by-id.",
         "P"},
        {"log", "Appends every byte sent and received, with its time, to FILE.", "FILE"},
        {"json", "Prints one summary object on standard output."},
        {"quiet", "Says nothing on standard error but errors; no progress bar."},
    });
}

void CommandLine::addObjectOptions() {
    m_parser.addOptions({
        {"objects", "The objects: numbers and ranges, e.g. 1-10,20,30-40.", "RANGES"},
        {"list",
         "The objects of an object number file (.onf), as the window's Objects num. "
         "takes them.",
         "FILE"},
    });
}

Done<Halt> CommandLine::parse(const QStringList &arguments, int positionals) {
    // The subcommand stands where QCommandLineParser expects the program's name.
    if (!m_parser.parse(arguments)) {
        m_summary.wanted = arguments.contains(QStringLiteral("--json"));
        return Failure<Halt>{Halt::Usage, m_parser.errorText()};
    }
    m_summary.wanted = m_parser.optionNames().contains(QStringLiteral("json"));
    if (m_parser.isSet(QStringLiteral("help"))) {
        m_summary.wanted = false;
        const QString help = m_parser.helpText();
        return Failure<Halt>{Halt::Help, QStringLiteral("Usage: %1\n\n").arg(m_usage) +
                                             help.section(u'\n', 1)};
    }
    const qsizetype given = m_parser.positionalArguments().size();
    if (given > positionals)
        return Failure<Halt>{Halt::Usage,
                             QStringLiteral("unexpected argument '%1'")
                                 .arg(m_parser.positionalArguments().at(positionals))};
    if (given < positionals)
        return Failure<Halt>{Halt::Usage, m_missing + QStringLiteral(" is missing")};
    if (m_needsPort && !isSet("port"))
        return Failure<Halt>{Halt::Usage, QStringLiteral("--port is missing")};
    return {};
}

int CommandLine::halt(const Failure<Halt> &failure) const {
    switch (failure.why) {
        case Halt::Help:
            print(stdout, failure.words);
            break;
        case Halt::Usage:
        case Halt::FileUnfit:
            print(stderr, QStringLiteral("orvel %1: %2\nUsage: %3\nTry 'orvel %1 --help'.\n")
                              .arg(m_command, failure.words, m_usage));
            break;
        case Halt::PortFailed:
            print(stderr, QStringLiteral("orvel %1: %2\n").arg(m_command, failure.words));
            break;
    }
    return exitStatus(failure.why);
}

int CommandLine::usageError(const QString &text) const { return halt({Halt::Usage, text}); }

Outcome<QList<int>, Halt> CommandLine::objects(int first, int last) const {
    if (isSet("objects") == isSet("list"))
        return Failure<Halt>{Halt::Usage, QStringLiteral("give either --objects or --list")};
    if (isSet("objects")) {
        const auto cells = parseObjectRanges(value("objects"), first, last);
        if (cells) return *cells;
        return Failure<Halt>{Halt::Usage, QStringLiteral("--objects: ") +
                                              rangeFailureText(cells.failure(), first, last)};
    }
    const QString list = value("list");
    const auto bytes = readRegularFile(list, kMaxListBytes);
    if (!bytes)
        return Failure<Halt>{Halt::FileUnfit,
                             QStringLiteral("%1 cannot be read: %2").arg(list, bytes.words())};
    const QList<int> cells = objectsOfList(parseObjectNumbers(*bytes));
    if (cells.isEmpty())
        return Failure<Halt>{
            Halt::FileUnfit,
            QStringLiteral("%1 names no object (%2 to %3)").arg(list).arg(first).arg(last)};
    return cells;
}

}  // namespace orvel::cli
