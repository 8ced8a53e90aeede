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
    failures += ok ? 0 : 1;
}

std::string show(const std::optional<std::string> &value)
{
    return value ? "\"" + *value + "\"" : "nothing";
}

constexpr char TestKey[] = "Software\\screenprog test values";

struct Stored
{
    const char *name;
    DWORD type;
    std::string bytes;
};

// The key holds only the values given, byte for byte.
bool replaceValues(HKEY root, const char *path, const std::vector<Stored> &values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegDeleteTreeA(key, nullptr) == ERROR_SUCCESS;
    for (const Stored &value : values) {
        ok = RegSetValueExA(key, value.name, 0, value.type,
                            reinterpret_cast<const BYTE *>(value.bytes.data()),
                            DWORD(value.bytes.size())) == ERROR_SUCCESS &&
             ok;
    }
    RegCloseKey(key);
    return ok;
}

std::string bytes(const char *text, size_t size)
{
    return std::string(text, size);
}

void readValues()
{
    const struct
    {
        Stored stored;
        std::optional<std::string> expected;
    } cases[] = {
        {{"with NUL", REG_SZ, bytes("COM1\0", 5)}, "COM1"},
        {{"without NUL", REG_SZ, bytes("COM12", 5)}, "COM12"},
        {{"embedded NUL", REG_SZ, bytes("COM2\0COM7\0", 10)}, "COM2"},
        {{"empty", REG_SZ, bytes("", 0)}, ""},
        {{"expandable string", REG_EXPAND_SZ, bytes("COM1\0", 5)}, std::nullopt},
        {{"multi-string", REG_MULTI_SZ, bytes("COM1\0COM2\0\0", 11)}, std::nullopt},
        {{"number", REG_DWORD, bytes("\x01\0\0\0", 4)}, std::nullopt},
        {{"binary", REG_BINARY, bytes("COM1", 4)}, std::nullopt},
        {{"missing", REG_NONE, {}}, std::nullopt},
    };
    std::vector<Stored> values;
    for (const auto &c : cases) {
        if (c.stored.type != REG_NONE)
            values.push_back(c.stored);
    }
    check(replaceValues(HKEY_CURRENT_USER, TestKey, values), "store the test values");

    WindowsRegistry registry;
    for (const auto &c : cases) {
        const auto value = OdczytajWartoscRejestru(registry, 0x80000001, TestKey, c.stored.name);
        check(value == c.expected, std::string("read \"") + c.stored.name + "\": " + show(value) +
                                       ", expected " + show(c.expected));
    }
    const auto missingKey = OdczytajWartoscRejestru(registry, 0x80000001,
                                                    "Software\\screenprog no such key", "with NUL");
    check(!missingKey, "missing key: " + show(missingKey));
    RegDeleteKeyA(HKEY_CURRENT_USER, TestKey);
}

void probe()
{
    WindowsRegistry registry;
    VersionRecord record;
    record.size = sizeof(VersionRecord);
    const bool versionKnown = registry.version(record);
    check(versionKnown && record.platformId == PlatformNt,
          "the version call reports platform " + std::to_string(record.platformId) + ", NT");

    const struct
    {
        const char *what;
        std::vector<Stored> values;
        std::vector<std::string> expected;
    } cases[] = {
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
    };
    for (const auto &c : cases) {
        if (!replaceValues(HKEY_LOCAL_MACHINE, SerialCommKey, c.values)) {
            check(false, std::string("write the device map for \"") + c.what + "\"");
            continue;
        }
        std::string names;
        for (const std::string &name : probeSerialPorts(registry))
            names += name + ' ';
        std::string expected;
        for (const std::string &name : c.expected)
            expected += name + ' ';
        check(names == expected, std::string("probe \"") + c.what + "\": [" + names +
                                     "], expected [" + expected + "]");
    }
}

} // namespace

int main()
{
    readValues();
    probe();
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
