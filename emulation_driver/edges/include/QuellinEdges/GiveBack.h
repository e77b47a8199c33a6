// The one way back for what a restore record holds, whether the daemon gives back what it
// holds itself or what a daemon that ended without doing so left: the record is checked
// against its interface (RecordCheck.h) first, the interface brought home from the
// daemon's namespace, its settings put back, then the namespace and the record go. The
// callers hold RestoreRecords::hold() across it.
#pragma once

#include "QuellinEdges/Log.h"
#include "QuellinEdges/RestoreRecords.h"

#include <cstddef>

namespace quellin::edges {

// Gives back what `record` holds; `heldNetns`, when given, is the held namespace open
// already. True when nothing is left to give back (the record is then removed); false
// when the record fails its check or the interface cannot come home (the record is kept,
// and why said).
bool give_back_record(const RestoreRecords& records, const RestoreRecord& record,
                      const LogSink& log, int heldNetns = -1);

// A record that is there but cannot be read whole: the interface comes home from the
// record's namespace (or a namespace of the daemon's form for it whose daemon is gone)
// with what of the record passes its check; the record is kept for a person to look at,
// and said so. False when the interface is still held (it could not come home, or its
// owner runs).
bool give_back_damaged(const RestoreRecords& records, const std::string& name,
                       const RestoreRecord& partial, const LogSink& log);

// At start-up: gives back what daemons that ended without doing so left behind. Records
// of a running daemon are left alone, those of an earlier boot removed, unfinished ones
// (nothing was changed yet) removed. Gives the number of interfaces given back.
size_t give_back_leftovers(const RestoreRecords& records, const LogSink& log);

} // namespace quellin::edges
