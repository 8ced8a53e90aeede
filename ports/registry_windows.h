#pragma once

// The registry reader's calls on Windows: GetVersionExA and the advapi32
// registry functions, unchanged.

#include "ports/registry.h"

namespace modRegistry {

class WindowsRegistry : public RegistryApi
{
public:
    bool version(VersionRecord &record) override;
    long openKey(std::uint32_t root, const char *path, Key &key) override;
    long queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                    std::uint32_t *size) override;
    long enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size) override;
    long closeKey(Key key) override;
};

} // namespace modRegistry
