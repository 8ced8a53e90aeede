#pragma once

// Reading the serial device map: the registry reader of modRegistry, the
// probe of the eight port slots and of every other port the map holds. Plain
// C++ over a small layer of operating system calls, so that the same code runs
// against the Windows registry and, elsewhere, against a layer that answers
// from the machine's serial devices.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace modRegistry {

// HKEY_LOCAL_MACHINE as the 32-bit registry API knows it.
inline constexpr std::uint32_t LocalMachine = 0x80000002;
inline constexpr char SerialCommKey[] = "Hardware\\DeviceMap\\SerialComm";

// Value types and status codes of the registry API (REG_SZ, ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE, ERROR_MORE_DATA,
// ERROR_NO_MORE_ITEMS), named apart from the Windows macros.
inline constexpr std::uint32_t StringValue = 1;
inline constexpr long Success = 0;
inline constexpr long FileNotFound = 2;
inline constexpr long InvalidHandle = 6;
inline constexpr long MoreData = 234;
inline constexpr long NoMoreItems = 259;

// The longest value name the registry holds, in characters, without its NUL.
inline constexpr std::uint32_t MaxValueName = 16383;

// Platform identifiers: the Windows 95/98/Me family and the NT family; any
// other identifier counts as NT.
inline constexpr std::uint32_t PlatformWindows9x = 1;
inline constexpr std::uint32_t PlatformNt = 2;

// The version record that GetVersionExA fills, laid out as Windows has it.
struct VersionRecord
{
    std::uint32_t size = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    char servicePack[128] = {};
};
static_assert(sizeof(VersionRecord) == 148);

// The operating system calls the reader and the probe rest on, with the
// semantics of GetVersionExA, RegOpenKeyA, RegQueryValueExA, RegEnumValueA and
// RegCloseKey.
class RegistryApi
{
public:
    using Key = std::uintptr_t;

    virtual ~RegistryApi() = default;

    // Fills the record when its size field is right; false otherwise.
    virtual bool version(VersionRecord &record) = 0;
    virtual long openKey(std::uint32_t root, const char *path, Key &key) = 0;
    // With data null: sets type and size (bytes) of the value. With a buffer of
    // *size bytes: copies the data, sets type and size. MoreData when
    // the buffer is too small. A missing value leaves type and size alone.
    virtual long queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                            std::uint32_t *size) = 0;
    // The name of value number index (0, 1, ... in no particular order) into a
    // buffer of *size characters, its NUL included; *size becomes the name's
    // length. MoreData when the buffer is too small, NoMoreItems past the last.
    virtual long enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size) = 0;
    virtual long closeKey(Key key) = 0;
};

// One string value: its text up to the first NUL (all of it when there is no
// NUL); nothing when the key or the value is missing, the value is not a plain
// string or cannot be read. The key is closed again whatever the result.
std::optional<std::string> OdczytajWartoscRejestru(RegistryApi &api, std::uint32_t root,
                                                   const std::string &path,
                                                   const std::string &name);

// The names of all values of a key, in the registry's order; none when the
// key is missing. The key is closed again.
std::vector<std::string> valueNames(RegistryApi &api, std::uint32_t root, const std::string &path);

// The value name under which the device map registers slot 1..8.
std::string slotKey(std::uint32_t platformId, int slot);

// The number n of a port name "COMn", n from 1 to 255 written without leading
// zeros; 0 for anything else, which is no port of ours.
int portNumber(const std::string &name);

// The value name under which the device map holds the port (case ignored):
// \Device\VCP0 for the first FTDI adapter; empty when it holds none.
std::string deviceMapName(RegistryApi &api, const std::string &port);

// The port names of the device map: those of the eight slots, in slot order,
// duplicates kept; then those under every other value name, each once, in the
// order of their numbers.
std::vector<std::string> probeSerialPorts(RegistryApi &api);

} // namespace modRegistry
