#include "ports/registry.h"

#include <algorithm>
#include <cctype>
#include <map>

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

std::vector<std::string> valueNames(RegistryApi &api, std::uint32_t root, const std::string &path)
{
    std::vector<std::string> names;
    RegistryApi::Key key = 0;
    if (api.openKey(root, path.c_str(), key) != Success)
        return names;
    // Room for the longest name there can be, so every name fits at once.
    std::string buffer(MaxValueName + 1, '\0');
    for (std::uint32_t index = 0;; ++index) {
        auto size = std::uint32_t(buffer.size());
        if (api.enumValue(key, index, buffer.data(), &size) != Success)
            break;
        names.emplace_back(buffer.data(), std::min<std::size_t>(size, MaxValueName));
    }
    api.closeKey(key);
    return names;
}

std::string slotKey(std::uint32_t platformId, int slot)
{
    if (platformId == PlatformWindows9x)
        return "COM" + std::to_string(slot);
    return "\\Device\\Serial" + std::to_string(slot - 1);
}

int portNumber(const std::string &name)
{
    // Windows numbers its ports COM1 to COM255; "COM05" or "com5" is no name it gives.
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0')
        return 0;
    int number = 0;
    for (char digit : name.substr(3)) {
        if (digit < '0' || digit > '9')
            return 0;
        number = number * 10 + (digit - '0');
    }
    return number <= 255 ? number : 0;
}

std::string deviceMapName(RegistryApi &api, const std::string &port)
{
    const auto same = [](const std::string &a, const std::string &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) ==
                   std::toupper(static_cast<unsigned char>(y));
        });
    };
    for (const std::string &valueName : valueNames(api, LocalMachine, SerialCommKey)) {
        if (same(OdczytajWartoscRejestru(api, LocalMachine, SerialCommKey, valueName)
                     .value_or(std::string()),
                 port))
            return valueName;
    }
    return {};
}

std::vector<std::string> probeSerialPorts(RegistryApi &api)
{
    // A failed call leaves the zeroed record, whose platform 0 counts as NT.
    VersionRecord record;
    record.size = sizeof(VersionRecord);
    api.version(record);
    const auto read = [&api](const std::string &valueName) {
        return OdczytajWartoscRejestru(api, LocalMachine, SerialCommKey, valueName)
            .value_or(std::string());
    };

    std::vector<std::string> names;
    for (int slot = 1; slot <= 8; ++slot) {
        const std::string name = read(slotKey(record.platformId, slot));
        if (portNumber(name) != 0)
            names.push_back(name);
    }

    // Only the built-in driver registers its ports in the slots; USB adapters,
    // device servers and modems register under their drivers' own names
    // (\Device\VCP0, \Device\Silabser0, ...), listed in no particular order.
    // The slots come again among them, with their ports listed already.
    std::map<int, std::string> others;
    for (const std::string &valueName : valueNames(api, LocalMachine, SerialCommKey)) {
        const std::string name = read(valueName);
        if (portNumber(name) != 0 && std::find(names.begin(), names.end(), name) == names.end())
            others.emplace(portNumber(name), name);
    }
    for (const auto &[number, name] : others)
        names.push_back(name);
    return names;
}

} // namespace modRegistry
