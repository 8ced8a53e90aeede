// The registry reader and the slot probe against the real Windows registry
// (Wine's under Linux). The test writes every value itself, byte for byte, so
// it knows exactly what is stored: strings with and without their NUL, with
// an embedded NUL, and values of other types.
//
// Plain C++ without Qt, built with the mingw-w64 cross compiler.

#include "ports/registry.h"
#include "ports/registry_windows.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using namespace modRegistry;

namespace {

int failures = 0;

void check(bool ok, const std::string &what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

std::string show(const std::optional<std::string> &value)
{
    return value ? "\"" + *value + "\"" : "nothing";
}

std::string show(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : ", ") + name;
    return "[" + text + "]";
}

constexpr char TestKey[] = "Software\\screenprog test values";
constexpr std::uint32_t HKCU = 0x80000001;

struct Stored
{
    const char *name;
    DWORD type;
    std::string bytes;
};

bool store(HKEY key, const Stored &value)
{
    return RegSetValueExA(key, value.name, 0, value.type,
                          reinterpret_cast<const BYTE *>(value.bytes.data()),
                          DWORD(value.bytes.size())) == ERROR_SUCCESS;
}

std::string bytes(const char *text, size_t size)
{
    return std::string(text, size);
}

void readValues()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, TestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        check(false, "create the test key");
        return;
    }

    const struct
    {
        Stored stored;
        std::optional<std::string> expected;
    } cases[] = {
        {{"with NUL", REG_SZ, bytes("COM1\0", 5)}, "COM1"},
        {{"without NUL", REG_SZ, bytes("COM12", 5)}, "COM12"},
        {{"embedded NUL", REG_SZ, bytes("COM2\0COM7\0", 10)}, "COM2"},
        {{"embedded NUL, none at the end", REG_SZ, bytes("COM3\0xy", 7)}, "COM3"},
        {{"empty", REG_SZ, bytes("", 0)}, ""},
        {{"only a NUL", REG_SZ, bytes("\0", 1)}, ""},
        {{"expandable string", REG_EXPAND_SZ, bytes("COM1\0", 5)}, std::nullopt},
        {{"multi-string", REG_MULTI_SZ, bytes("COM1\0COM2\0\0", 11)}, std::nullopt},
        {{"number", REG_DWORD, bytes("\x01\0\0\0", 4)}, std::nullopt},
        {{"binary", REG_BINARY, bytes("COM1", 4)}, std::nullopt},
    };
    for (const auto &c : cases)
        check(store(key, c.stored), std::string("store \"") + c.stored.name + "\"");
    RegCloseKey(key);

    WindowsRegistry registry;
    for (const auto &c : cases) {
        const auto value = OdczytajWartoscRejestru(registry, HKCU, TestKey, c.stored.name);
        check(value == c.expected, std::string("read \"") + c.stored.name + "\": " + show(value) +
                                       ", expected " + show(c.expected));
    }
    const auto missingValue = OdczytajWartoscRejestru(registry, HKCU, TestKey, "no such value");
    check(!missingValue, "missing value: " + show(missingValue));
    const auto missingKey =
        OdczytajWartoscRejestru(registry, HKCU, "Software\\screenprog no such key", "with NUL");
    check(!missingKey, "missing key: " + show(missingKey));
    const auto otherRoot = OdczytajWartoscRejestru(registry, LocalMachine, TestKey, "with NUL");
    check(!otherRoot, "same path under another root: " + show(otherRoot));

    RegDeleteKeyA(HKEY_CURRENT_USER, TestKey);
}

void version()
{
    WindowsRegistry registry;
    VersionRecord record;
    record.size = sizeof(VersionRecord);
    check(registry.version(record), "GetVersionExA with the record's size set");
    check(record.platformId == PlatformNt,
          "platform " + std::to_string(record.platformId) + ", expected the NT family");

    VersionRecord wrongSize;
    wrongSize.size = 20;
    check(!registry.version(wrongSize), "GetVersionExA refuses a record of the wrong size");
}

// The device map holds only what this test puts there.
bool replaceDeviceMap(const std::vector<Stored> &values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    for (;;) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (RegDeleteValueA(key, name) != ERROR_SUCCESS) {
            RegCloseKey(key);
            return false;
        }
    }
    bool ok = true;
    for (const Stored &value : values)
        ok = store(key, value) && ok;
    RegCloseKey(key);
    return ok;
}

void probe()
{
    const struct
    {
        const char *what;
        std::vector<Stored> values;
        std::vector<std::string> expected;
    } cases[] = {
        {"two ports",
         {{"\\Device\\Serial0", REG_SZ, bytes("COM1\0", 5)},
          {"\\Device\\Serial1", REG_SZ, bytes("COM2\0", 5)}},
         {"COM1", "COM2"}},
        {"no ports", {}, {}},
        {"slot order, duplicates, the filter and the value kinds",
         {{"\\Device\\Serial0", REG_SZ, bytes("COM3\0", 5)},
          {"\\Device\\Serial1", REG_SZ, bytes("COM1\0", 5)},
          {"\\Device\\Serial2", REG_SZ, bytes("COM12\0", 6)},
          {"\\Device\\Serial3", REG_DWORD, bytes("\x03\0\0\0", 4)},
          {"\\Device\\Serial4", REG_SZ, bytes("COM5", 4)},
          {"\\Device\\Serial5", REG_SZ, bytes("COM6\0junk", 9)},
          {"\\Device\\Serial6", REG_SZ, bytes("COM3\0", 5)},
          {"\\Device\\Serial7", REG_EXPAND_SZ, bytes("COM7\0", 5)},
          {"\\Device\\Serial8", REG_SZ, bytes("COM8\0", 5)},
          {"COM2", REG_SZ, bytes("COM2\0", 5)}},
         {"COM3", "COM1", "COM5", "COM6", "COM3"}},
        {"the filter",
         {{"\\Device\\Serial0", REG_SZ, bytes("COM9\0", 5)},
          {"\\Device\\Serial1", REG_SZ, bytes("COM0\0", 5)},
          {"\\Device\\Serial2", REG_SZ, bytes("com1\0", 5)},
          {"\\Device\\Serial3", REG_SZ, bytes("LPT1\0", 5)},
          {"\\Device\\Serial4", REG_SZ, bytes("\0", 1)},
          {"\\Device\\Serial7", REG_SZ, bytes("COM8\0", 5)}},
         {"COM8"}},
    };
    for (const auto &c : cases) {
        if (!replaceDeviceMap(c.values)) {
            check(false, std::string("write the device map for \"") + c.what + "\"");
            continue;
        }
        WindowsRegistry registry;
        const std::vector<std::string> names = probeSerialPorts(registry);
        check(names == c.expected, std::string("probe \"") + c.what + "\": " + show(names) +
                                       ", expected " + show(c.expected));
    }
}

} // namespace

int main()
{
    version();
    readValues();
    probe();
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
