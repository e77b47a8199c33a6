#include "OrvaneUtils/ConfigParamsBase.h"

#include <cstring>

namespace reg = platform::registry;

struct SRegKeyHandle {
    reg::Hive hive;
    std::string path;
};

CConfigParamsBase::CConfigParamsBase() = default;

CConfigParamsBase::CConfigParamsBase(const reg::Registry& registry) : m_registry(registry) {}

CConfigParamsBase::~CConfigParamsBase() = default;

bool CConfigParamsBase::OpenRegistry(Hive hive, const char* keyPath, HKEY& key) {
    key = nullptr;
    if (!keyPath)
        return false;
    if (m_registry.openKey(hive, keyPath) != reg::kSuccess)
        return false;
    key = new SRegKeyHandle{hive, keyPath};
    return true;
}

void CConfigParamsBase::CloseRegistry(HKEY& key) {
    delete key;
    key = nullptr;
}

bool CConfigParamsBase::getRegString(HKEY key, const char* name, char* buffer, unsigned long size) {
    if (!key || !name || !buffer || size == 0)
        return false;
    std::string text;
    if (m_registry.queryString(key->hive, key->path, name, text) != reg::kSuccess)
        return false;
    if (text.size() >= size)
        return false; // does not fit: like a too-small buffer, nothing is returned
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

bool CConfigParamsBase::getRegDWORD(HKEY key, const char* name, DWORD& value) {
    if (!key || !name)
        return false;
    uint32_t read = 0;
    if (m_registry.queryDword(key->hive, key->path, name, read) != reg::kSuccess)
        return false;
    value = read;
    return true;
}

bool CConfigParamsBase::setRegString(HKEY key, const char* name, const char* value) {
    if (!key || !name || !value)
        return false;
    return m_registry.setValue(key->hive, key->path, name, reg::Value::Sz(value)) == reg::kSuccess;
}

bool CConfigParamsBase::setRegDWORD(HKEY key, const char* name, DWORD value) {
    if (!key || !name)
        return false;
    return m_registry.setValue(key->hive, key->path, name, reg::Value::Dword(value)) ==
           reg::kSuccess;
}

bool CConfigParamsBase::DeleteRegValue(HKEY key, const char* name) {
    if (!key || !name)
        return false;
    return m_registry.deleteValue(key->hive, key->path, name) == reg::kSuccess;
}
