// Base of configuration classes: opens keys of the registry store and reads and
// writes string and 32-bit values. Every call goes to the store; nothing is cached.
#pragma once

#include <platform/Registry.h>

#include <cstdint>
#include <string>

struct SRegKeyHandle;

class CConfigParamsBase {
public:
    typedef SRegKeyHandle* HKEY;
    typedef uint32_t DWORD;
    typedef platform::registry::Hive Hive;

    // Uses the store at $ALTIREN_REGISTRY_ROOT (or its default root).
    CConfigParamsBase();
    explicit CConfigParamsBase(const platform::registry::Registry& registry);
    virtual ~CConfigParamsBase();

    // Opens an existing key; key is null when it does not exist or cannot be read.
    bool OpenRegistry(Hive hive, const char* keyPath, HKEY& key);
    // Closes the key and nulls the handle; a null handle is ignored.
    void CloseRegistry(HKEY& key);

    // True when the string value exists and fits the buffer with its terminating zero.
    bool getRegString(HKEY key, const char* name, char* buffer, unsigned long size);
    // True when the 32-bit value exists.
    bool getRegDWORD(HKEY key, const char* name, DWORD& value);
    bool setRegString(HKEY key, const char* name, const char* value);
    bool setRegDWORD(HKEY key, const char* name, DWORD value);
    bool DeleteRegValue(HKEY key, const char* name);

protected:
    // Opens the keys a derived class keeps; the base keeps none.
    virtual bool OpenKeys() { return true; }

    const platform::registry::Registry& Store() const { return m_registry; }

private:
    platform::registry::Registry m_registry;
};

// Closes a key when the scope ends.
class CRegKeyGuard {
public:
    CRegKeyGuard(CConfigParamsBase& owner, CConfigParamsBase::HKEY& key)
        : m_owner(owner), m_key(key) {}
    ~CRegKeyGuard() { m_owner.CloseRegistry(m_key); }
    CRegKeyGuard(const CRegKeyGuard&) = delete;
    CRegKeyGuard& operator=(const CRegKeyGuard&) = delete;

private:
    CConfigParamsBase& m_owner;
    CConfigParamsBase::HKEY& m_key;
};
