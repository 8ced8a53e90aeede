#pragma once

// The registry reader's calls on a system without the Windows registry: the
// serial device map is made up from the machine's serial devices, so that the
// probe runs unchanged. It is worth its lines: the slots, the numbering and
// the order of the port list are then one piece of code on both systems, and
// every Linux test of the list runs the probe that Windows runs.
// The system reports the NT family; under
// LocalMachine\Hardware\DeviceMap\SerialComm the value "\Device\Serial" + k
// holds "COM" + (k + 1) for the k-th of the devices in their numbering order
// (orderedSerialDevices), for as many devices as there are. The probe finds
// the first eight in its slots and the rest by listing the key's values.

#include "ports/registry.h"
#include "ports/serial_devices.h"

class SerialDeviceRegistry : public modRegistry::RegistryApi
{
public:
    explicit SerialDeviceRegistry(const QList<SerialDevice> &devices);

    // The devices in their numbering order: "COM" + (k + 1) is devices()[k].
    const QList<SerialDevice> &devices() const { return m_devices; }

    bool version(modRegistry::VersionRecord &record) override;
    long openKey(std::uint32_t root, const char *path, Key &key) override;
    long queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                    std::uint32_t *size) override;
    long enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size) override;
    long closeKey(Key key) override;

private:
    QList<SerialDevice> m_devices;
};
