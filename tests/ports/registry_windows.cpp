// The probe on the real Windows registry calls (Wine's under Linux), with the
// device map written byte for byte: what tst_ports.cpp's scripted registry
// stands in for. Plain C++, built with the mingw-w64 cross compiler.

#include "ports/registry.h"
#include "ports/registry_windows.h"

#include <windows.h>

#include <cstdio>
#include <string>

using namespace modRegistry;

int main()
{
    const struct
    {
        const char *name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {"\\Device\\Serial0", REG_SZ, std::string("COM3\0", 5)},
        {"\\Device\\Serial1", REG_SZ, std::string("COM12\0", 6)},
        {"\\Device\\Serial2", REG_SZ, "COM5"}, // no NUL
        {"\\Device\\Serial3", REG_EXPAND_SZ, std::string("COM7\0", 5)},
        {"\\Device\\Serial4", REG_SZ, std::string("COM6\0junk", 9)},
        {"\\Device\\Serial5", REG_DWORD, std::string("\3\0\0\0", 4)},
        {"\\Device\\Serial8", REG_SZ, std::string("COM8\0", 5)},
        {"COM2", REG_SZ, std::string("COM2\0", 5)}, // the Windows 98 name
    };
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS ||
        RegDeleteTreeA(key, nullptr) != ERROR_SUCCESS)
        return 2;
    for (const auto &v : values)
        RegSetValueExA(key, v.name, 0, v.type, reinterpret_cast<const BYTE *>(v.bytes.data()),
                       DWORD(v.bytes.size()));
    RegCloseKey(key);

    WindowsRegistry registry;
    VersionRecord record;
    record.size = sizeof record;
    const bool nt = registry.version(record) && record.platformId == PlatformNt;
    std::string found;
    for (const std::string &name : probeSerialPorts(registry))
        found += name + ' ';
    const bool missing =
        !OdczytajWartoscRejestru(registry, LocalMachine, "Software\\no such key", "x");
    std::printf("NT %d, found [%s], a missing key read as nothing %d\n", nt, found.c_str(),
                missing);
    return nt && found == "COM3 COM5 COM6 " && missing ? 0 : 1;
}
