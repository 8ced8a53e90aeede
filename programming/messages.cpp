#include "programming/messages.h"

namespace messages {

QString text(int NumerKomunikatu)
{
    switch (NumerKomunikatu) {
    case EepromProgrammed:
        return QStringLiteral("Programowanie EEPROMu zakończone.");
    case CurrentProgrammed:
        return QStringLiteral("Programowanie bieżące zakończone.");
    case DisplayCommunicationError:
        return QStringLiteral("Błąd w komunikacji z wyświetlaczem !!!");
    case PortBusy:
        return QStringLiteral(
            "Port zajęty przez inne urządzenie !!! Wybierz inny port do komunikacji.");
    case NoSerialPorts:
        return QStringLiteral("W systemie brak jest portów szeregowych !!!");
    case PortUnavailable:
        return QStringLiteral("Wybrany port nie jest dostępny !!!");
    default:
        return {};
    }
}

QString informationTitle()
{
    return QStringLiteral("Informacja");
}

QString warningTitle()
{
    return QStringLiteral("Ostrzeżenie");
}

} // namespace messages
