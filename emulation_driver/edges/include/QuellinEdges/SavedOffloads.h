// The interfaces of an "if:" binding stay where they are: only their offload settings
// change (receive coalescing off) and come back. Their records go into the store before
// anything changes, never over a record a running daemon keeps; what a daemon that has
// gone left of them is given back first.
#pragma once

#include "QuellinEdges/Log.h"
#include "QuellinEdges/RestoreRecords.h"

#include <memory>
#include <string>
#include <vector>

namespace quellin::edges {

class SavedOffloads {
public:
    // Records the settings of `names` (interfaces of the calling thread's namespace);
    // nullptr with the reason, nothing recorded, when one cannot be.
    static std::unique_ptr<SavedOffloads> save(const RestoreRecords& records,
                                               const std::vector<std::string>& names,
                                               const LogSink& log, std::string& error);
    SavedOffloads(const SavedOffloads&) = delete;
    SavedOffloads& operator=(const SavedOffloads&) = delete;

    // The recorded offloads back on those of the interfaces that are there, the records
    // kept (the binding waits to be bound again).
    void restore_features() const;
    // Gives everything back through the one way back (give_back_record); the records go.
    void give_back(const LogSink& log);

private:
    SavedOffloads(const RestoreRecords& records, std::vector<RestoreRecord> saved)
        : m_records(records), m_saved(std::move(saved)) {}

    const RestoreRecords& m_records;
    std::vector<RestoreRecord> m_saved;
};

} // namespace quellin::edges
