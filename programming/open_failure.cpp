#include "programming/open_failure.h"

#include "resources/message_numbers.h"

OpenFailureReport reportOpenFailure(SerialLink::OpenResult result, const QString &device,
                                    const QString &systemError)
{
    switch (result) {
    case SerialLink::OpenResult::Busy:
        return {messages::PortBusy, {}};
    case SerialLink::OpenResult::NoSuchPort:
        return {messages::PortUnavailable, {}};
    case SerialLink::OpenResult::NotPermitted:
        return {messages::PortUnavailable,
                QStringLiteral("Brak uprawnień do urządzenia %1.\n"
                               "Porty szeregowe są dostępne dla członków grupy dialout.")
                    .arg(device)};
    case SerialLink::OpenResult::Opened:
    case SerialLink::OpenResult::OtherFailure:
        break;
    }
    return {messages::PortUnavailable, QStringLiteral("%1: %2").arg(device, systemError)};
}
