#include "ports/serial_device_registry.h"

#include <QByteArray>

#include <cstring>

using namespace modRegistry;

namespace {

// The one key there is.
constexpr RegistryApi::Key SerialCommHandle = 1;

constexpr char SlotPrefix[] = "\\Device\\Serial";

// The device index k of the value name "\Device\Serial" + k, or -1. Registry
// names ignore case, as on Windows; the number has no sign or leading zero.
int slotIndex(const char *name)
{
    const QByteArray text(name);
    const qsizetype prefixLength = qsizetype(std::strlen(SlotPrefix));
    if (text.size() <= prefixLength || qstrnicmp(text.constData(), SlotPrefix, prefixLength) != 0)
        return -1;
    const QByteArray digits = text.mid(prefixLength);
    if (digits.size() > 1 && digits.startsWith('0'))
        return -1;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
    }
    bool ok = false;
    const int index = digits.toInt(&ok);
    return ok ? index : -1;
}

} // namespace

SerialDeviceRegistry::SerialDeviceRegistry(const QList<SerialDevice> &devices)
    : m_devices(orderedSerialDevices(devices))
{
}

bool SerialDeviceRegistry::version(VersionRecord &record)
{
    if (record.size != sizeof(VersionRecord))
        return false;
    record.platformId = PlatformNt;
    return true;
}

long SerialDeviceRegistry::openKey(std::uint32_t root, const char *path, Key &key)
{
    if (root != LocalMachine || qstricmp(path, SerialCommKey) != 0)
        return FileNotFound;
    key = SerialCommHandle;
    return Success;
}

long SerialDeviceRegistry::queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                                      std::uint32_t *size)
{
    if (key != SerialCommHandle)
        return InvalidHandle;
    const int index = slotIndex(name);
    if (index < 0 || index >= m_devices.size())
        return FileNotFound;

    // Stored as Windows stores it: the name with its terminating NUL.
    const QByteArray value = "COM" + QByteArray::number(index + 1);
    const auto needed = std::uint32_t(value.size() + 1);
    *type = StringValue;
    if (data == nullptr) {
        *size = needed;
        return Success;
    }
    if (*size < needed) {
        *size = needed;
        return MoreData;
    }
    std::memcpy(data, value.constData(), needed);
    *size = needed;
    return Success;
}

long SerialDeviceRegistry::enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size)
{
    if (key != SerialCommHandle)
        return InvalidHandle;
    if (index >= std::uint32_t(m_devices.size()))
        return NoMoreItems;
    const QByteArray value = SlotPrefix + QByteArray::number(index);
    if (*size <= std::uint32_t(value.size()))
        return MoreData;
    std::memcpy(name, value.constData(), size_t(value.size()) + 1);
    *size = std::uint32_t(value.size());
    return Success;
}

long SerialDeviceRegistry::closeKey(Key key)
{
    return key == SerialCommHandle ? Success : InvalidHandle;
}
