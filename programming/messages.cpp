#include "programming/messages.h"

namespace messages {

QString text(int)
{
    return {};
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
