#include "ports/registry_windows.h"

#include <windows.h>

#include <cstring>

namespace modRegistry {

namespace {

HKEY handle(RegistryApi::Key key)
{
    return reinterpret_cast<HKEY>(key);
}

// The predefined roots are 32-bit values that a 64-bit HKEY carries sign
// extended (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there).
HKEY rootHandle(std::uint32_t root)
{
    return reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(root)));
}

} // namespace

bool WindowsRegistry::version(VersionRecord &record)
{
    static_assert(sizeof(OSVERSIONINFOA) == sizeof(VersionRecord));
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = record.size;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    if (!ok)
        return false;
    record.majorVersion = info.dwMajorVersion;
    record.minorVersion = info.dwMinorVersion;
    record.buildNumber = info.dwBuildNumber;
    record.platformId = info.dwPlatformId;
    std::memcpy(record.servicePack, info.szCSDVersion, sizeof record.servicePack);
    return true;
}

long WindowsRegistry::openKey(std::uint32_t root, const char *path, Key &key)
{
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyA(rootHandle(root), path, &opened);
    key = reinterpret_cast<Key>(opened);
    return status;
}

long WindowsRegistry::queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                                 std::uint32_t *size)
{
    DWORD valueType = *type;
    DWORD valueSize = *size;
    const LONG status = RegQueryValueExA(handle(key), name, nullptr, &valueType,
                                         reinterpret_cast<BYTE *>(data), &valueSize);
    *type = valueType;
    *size = valueSize;
    return status;
}

long WindowsRegistry::enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size)
{
    DWORD nameSize = *size;
    const LONG status =
        RegEnumValueA(handle(key), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    *size = nameSize;
    return status;
}

long WindowsRegistry::closeKey(Key key)
{
    return RegCloseKey(handle(key));
}

} // namespace modRegistry
