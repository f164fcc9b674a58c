#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace orvel::cli {

// What --json prints: one object on one line, whatever the exit (main prints it).
struct Summary {
    bool wanted = false;  // --json was given

    QString operation;
    QString port;
    int objects = 0;   // the objects the command was about
    int differed = 0;  // from the table (compare, restore)
    int written = 0;
    int verified = 0;
    int failed = 0;    // tried and not done
    int notTried = 0;  // never tried: the work stopped, or the device fell silent, before them
    double seconds = 0;  // on the line
    int status = 0;      // the exit status
    QJsonObject more;    // what a command adds (under a profile: its names, what was kept)

    QByteArray json() const;
};

}  // namespace orvel::cli
