#include "Morrane/SMap.h"

#include <cstring>

namespace {

// The key as an entry stores it: at most 31 characters.
struct StoredKey {
    explicit StoredKey(const char* key) {
        if (key)
            std::strncpy(text, key, h_entry::kKeySize - 1);
    }
    char text[h_entry::kKeySize] = {};
};

} // namespace

CSMap::CSMap(const char* name, int bucketCount)
    : CSObject(name, "CSMap"), m_count(bucketCount < 1 ? 1 : bucketCount) {
    m_buckets = std::make_shared<std::vector<bucket_t>>(static_cast<size_t>(m_count));
}

CSMap::CSMap(const CSMap& other) = default;

CSMap& CSMap::operator=(const CSMap& other) {
    if (this != &other) {
        if (m_buckets.use_count() == 1)
            Clear();
        CSObject::operator=(other);
        m_buckets = other.m_buckets;
        m_count = other.m_count;
    }
    return *this;
}

CSMap::~CSMap() {
    if (m_buckets.use_count() == 1)
        Clear();
}

unsigned CSMap::Hash(const char* key) const {
    unsigned h = 0;
    for (const char* c = key; c && *c; ++c)
        h = h * 32u + static_cast<unsigned>(static_cast<signed char>(*c));
    return h % static_cast<unsigned>(m_count);
}

void CSMap::Add(const char* key, CSObject* object) {
    h_entry entry{};
    std::memcpy(entry.key, StoredKey(key).text, h_entry::kKeySize);
    entry.object = object;
    (*m_buckets)[Hash(entry.key)].push_back(entry);
}

CSObject* CSMap::operator[](const char* key) const {
    if (!key)
        return nullptr;
    const StoredKey stored(key);
    for (const h_entry& entry : (*m_buckets)[Hash(stored.text)])
        if (std::strncmp(entry.key, stored.text, h_entry::kKeySize) == 0)
            return entry.object;
    return nullptr;
}

CSObject* CSMap::Remove(const char* key) {
    if (!key)
        return nullptr;
    const StoredKey stored(key);
    bucket_t& bucket = (*m_buckets)[Hash(stored.text)];
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
        if (std::strncmp(it->key, stored.text, h_entry::kKeySize) == 0) {
            CSObject* object = it->object;
            bucket.erase(it);
            return object;
        }
    }
    return nullptr;
}

void CSMap::Clear() {
    for (bucket_t& bucket : *m_buckets) {
        for (h_entry& entry : bucket)
            delete entry.object;
        bucket.clear();
    }
}
