#include "programming/link.h"

#include "programming/serial_link.h"

std::unique_ptr<Link> linkFor(const QString &)
{
    return std::make_unique<SerialLink>();
}
