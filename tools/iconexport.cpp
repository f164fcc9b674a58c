// Writes the window icon into an icon theme tree for the package:
//   orvel-iconexport OUTDIR NAME SIZE...  ->  OUTDIR/SIZExSIZE/apps/NAME.png
#include "app/lamps.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (args.size() < 4) {
        err << "usage: orvel-iconexport OUTDIR NAME SIZE...\n";
        return 2;
    }
    const QDir out(args[1]);
    for (const QString &text : args.mid(3)) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size < 1) {
            err << "not a size: " << text << '\n';
            return 2;
        }
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = out.filePath(dir + '/' + args[2] + QStringLiteral(".png"));
        if (!out.mkpath(dir) || !orvel::windowIconPixmap(size).save(file, "PNG")) {
            err << "cannot write " << file << '\n';
            return 1;
        }
    }
    return 0;
}
