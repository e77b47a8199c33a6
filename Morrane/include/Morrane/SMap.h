// Hash map from short string keys to owned CSObject pointers.
#pragma once

#include "Morrane/SObject.h"

#include <list>
#include <memory>
#include <vector>

struct h_entry {
    static constexpr size_t kKeySize = 32;
    char key[kKeySize]; // at most 31 characters and a terminator
    CSObject* object;
};

class CSMap : public CSObject {
public:
    using bucket_t = std::list<h_entry>;

    // bucketCount below 1 is taken as 1.
    CSMap(const char* name, int bucketCount);
    // A copy shares the entries with its source; the objects are deleted once,
    // when the last of the maps that share them clears or goes.
    CSMap(const CSMap& other);
    CSMap& operator=(const CSMap& other);
    ~CSMap() override;

    unsigned Hash(const char* key) const;
    // Appends an entry; a key longer than 31 characters is cut to 31 (here and in
    // the look-ups, so a long key finds its entry). An earlier entry with the same
    // key stays and is found first.
    void Add(const char* key, CSObject* object);
    CSObject* operator[](const char* key) const;
    // Takes out the first entry of the key and hands its object to the caller.
    CSObject* Remove(const char* key);
    // Deletes every object and empties every bucket.
    void Clear();

    std::vector<bucket_t>& GetList() { return *m_buckets; }
    int GetCount() const { return m_count; }

private:
    std::shared_ptr<std::vector<bucket_t>> m_buckets;
    int m_count;
};
