#include "station/unitbook.h"

namespace orvel::station {

QString causeToken(Cause cause) {
    switch (cause) {
        case Cause::None:
            return {};
        case Cause::NotRead:
            return QStringLiteral("not-read");
        case Cause::NotWritten:
            return QStringLiteral("not-written");
        case Cause::Differs:
            return QStringLiteral("differs");
        case Cause::Unconfirmed:
            return QStringLiteral("unconfirmed");
        case Cause::Silent:
            return QStringLiteral("silent");
        case Cause::PortLost:
            return QStringLiteral("port-lost");
        case Cause::Stopped:
            return QStringLiteral("stopped");
        case Cause::NotRecorded:
            return QStringLiteral("not-recorded");
    }
    return {};
}

QString resultToken(UnitResult result) {
    switch (result) {
        case UnitResult::Pass:
            return QStringLiteral("pass");
        case UnitResult::Fail:
            return QStringLiteral("fail");
        case UnitResult::CutShort:
            return QStringLiteral("cut-short");
    }
    return {};
}

}  // namespace orvel::station
