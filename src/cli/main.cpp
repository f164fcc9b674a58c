// orvel: the programmer for scripts. The same device client, table files, journal and
// port assignments as the window, without a window.
#include <QCoreApplication>
#include <cstdio>
#include <map>

#include "cli/commands.h"
#include "cli/exitstatus.h"

namespace {

constexpr const char *kHelp =
    "Usage: orvel COMMAND [options]\n"
    "\n"
    "Reads and programs the objects of an Orvel device from scripts.\n"
    "\n"
    "Commands:\n"
    "  ports     the serial ports present, and the device each of COM1 to COM4 stands for\n"
    "  read      read objects into a table file\n"
    "  write     write 0 or 1 into objects, each read back\n"
    "  compare   print the objects whose values differ from a table file\n"
    "  restore   write the objects that differ from a table file\n"
    "  station   program units on several ports at once, each recorded in the ledger\n"
    "  ledger    the records of a production station's units, and their tables\n"
    "  profile   check a profile, the file that names the objects\n"
    "\n"
    "'orvel COMMAND --help' tells more; man orvel tells all.\n"
    "Exit status: 0 done, 1 differences found or objects not done, 2 usage error or a\n"
    "table not saved, 3 the port cannot be opened, 4 the device is not answering or the\n"
    "port was lost, 130 stopped by Ctrl+C (143 by SIGTERM, 129 by SIGHUP).\n";

}  // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    // The window's name: its settings hold the devices chosen for COM 1 to COM 4.
    QCoreApplication::setApplicationName(QStringLiteral("Orvel programator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVEL_VERSION));

    using Command = int (*)(const QStringList &, orvel::cli::Summary &);
    const std::map<QString, Command> commands = {
        {QStringLiteral("ports"), orvel::cli::runPorts},
        {QStringLiteral("read"), orvel::cli::runRead},
        {QStringLiteral("write"), orvel::cli::runWrite},
        {QStringLiteral("compare"), orvel::cli::runCompare},
        {QStringLiteral("restore"), orvel::cli::runRestore},
        {QStringLiteral("station"), orvel::cli::runStation},
        {QStringLiteral("ledger"), orvel::cli::runLedger},
        {QStringLiteral("profile"), orvel::cli::runProfile},
    };
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const QString name = arguments.value(0);
    if (name == u"--help" || name == u"-h") {
        std::fputs(kHelp, stdout);
        return orvel::cli::kDone;
    }
    if (name == u"--version") {
        std::printf("orvel %s\n", ORVEL_VERSION);
        return orvel::cli::kDone;
    }
    const auto command = commands.find(name);
    if (command == commands.end()) {
        if (!name.isEmpty())
            std::fprintf(stderr, "orvel: '%s' is no command.\n", name.toLocal8Bit().constData());
        std::fputs(kHelp, stderr);
        return orvel::cli::kUsage;
    }
    // Every exit of a command prints its summary when --json asks for it: a usage error and
    // a port that cannot be opened too.
    orvel::cli::Summary summary;
    summary.operation = name;
    summary.status = command->second(arguments, summary);
    if (summary.wanted) {
        const QByteArray line = summary.json();
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    return summary.status;
}
