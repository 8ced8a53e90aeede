#include "programming/link.h"

#include "programming/network_link.h"
#include "programming/serial_link.h"

std::unique_ptr<Link> linkFor(const QString &name)
{
    if (isNetworkPort(name))
        return std::make_unique<NetworkLink>();
    return std::make_unique<SerialLink>();
}
