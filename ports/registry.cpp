#include "ports/registry.h"

namespace modRegistry {

std::optional<std::string> OdczytajWartoscRejestru(RegistryApi &api, std::uint32_t root,
                                                   const std::string &path, const std::string &name)
{
    RegistryApi::Key key = 0;
    if (api.openKey(root, path.c_str(), key) != Success)
        return std::nullopt;

    std::optional<std::string> result;
    // A failed size query (a missing value) leaves the type at 0, which ends
    // the read below; its status tells nothing more.
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    api.queryValue(key, name.c_str(), &type, nullptr, &size);
    if (type == StringValue) {
        std::string buffer(size, ' ');
        if (api.queryValue(key, name.c_str(), &type, buffer.data(), &size) == Success) {
            // The stored terminator, or any NUL inside, ends the text.
            const auto nul = buffer.find('\0');
            result = nul == std::string::npos ? buffer : buffer.substr(0, nul);
        }
    }
    api.closeKey(key);
    return result;
}

std::string slotKey(std::uint32_t platformId, int slot)
{
    if (platformId == PlatformWindows9x)
        return "COM" + std::to_string(slot);
    return "\\Device\\Serial" + std::to_string(slot - 1);
}

bool isAcceptedPortName(const std::string &name)
{
    // The port number is the name's last character, so only one digit 1..8 fits.
    return name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '8';
}

std::vector<std::string> probeSerialPorts(RegistryApi &api)
{
    // A failed call leaves the zeroed record, whose platform 0 counts as NT.
    VersionRecord record;
    record.size = sizeof(VersionRecord);
    api.version(record);

    std::vector<std::string> names;
    for (int slot = 1; slot <= 8; ++slot) {
        const std::string name = OdczytajWartoscRejestru(api, LocalMachine, SerialCommKey,
                                                         slotKey(record.platformId, slot))
                                     .value_or(std::string());
        if (isAcceptedPortName(name))
            names.push_back(name);
    }
    return names;
}

} // namespace modRegistry
