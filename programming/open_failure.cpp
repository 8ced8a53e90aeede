#include "programming/open_failure.h"

#include "resources/message_numbers.h"

OpenFailureReport reportOpenFailure(Link::OpenResult result, const QString &device,
                                    const QString &systemError)
{
    switch (result) {
    case Link::OpenResult::Busy:
        return {messages::PortBusy, {}};
    case Link::OpenResult::NoSuchPort:
        return {messages::PortUnavailable, {}};
    case Link::OpenResult::NotPermitted:
        return {messages::PortUnavailable,
                QStringLiteral("Brak uprawnień do urządzenia %1.\n"
                               "Porty szeregowe są dostępne dla członków grupy dialout.")
                    .arg(device)};
    case Link::OpenResult::Opened:
    case Link::OpenResult::OtherFailure:
        break;
    }
    return {messages::PortUnavailable, QStringLiteral("%1: %2").arg(device, systemError)};
}
