#pragma once

#include "ports/portfailure.h"
#include "ports/portinfo.h"

#include <QList>
#include <QString>

namespace orvel {

// Why the window's COM `port`, the device `path`, could not be opened, said so that the
// operator knows what to do, with the ports `present`.
QString openFailureText(const Failure<PortFailure> &failure, int port, const QString &path,
                        const QList<PortInfo> &present);
// Why the port on `target` cannot send a byte or close.
QString portFailureText(const Failure<PortFailure> &failure, const PortTarget &target);
// The port on `target` lost under us.
QString lostPortText(const PortTarget &target);

}  // namespace orvel
