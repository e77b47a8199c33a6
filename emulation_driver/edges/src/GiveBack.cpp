#include "QuellinEdges/GiveBack.h"

#include "QuellinEdges/Bindings.h"
#include "QuellinEdges/Links.h"
#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/RecordCheck.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace quellin::edges {

namespace {

std::string pid_of(const std::string& owner) {
    return owner.substr(0, owner.find(' '));
}

// Brings `name` home (the calling thread's namespace) from the namespace open as `netns`:
// `found` tells whether it was there. False when it was there and could not be moved.
bool bring_home(int netns, const std::string& name, const std::string& nsName, const LogSink& log,
                bool& found) {
    found = false;
    const int home = open_current_netns();
    if (home < 0) {
        log(kLogError,
            "cannot open the station's network namespace: " + std::string(std::strerror(errno)));
        return false;
    }
    bool moved = true;
    {
        NetnsScope in(netns);
        if (in.entered())
            if (const auto link = query_link(name)) {
                found = true;
                if (const int rc = move_link(link->index, home); rc != 0) {
                    log(kLogError,
                        name + " stays in the network namespace " + nsName +
                            ": it cannot be moved back (" + std::strerror(-rc) +
                            (rc == -EEXIST ? ": an interface of its name is in the way)" : ")"));
                    moved = false;
                }
            }
    }
    ::close(home);
    return moved;
}

// Whether a process of that id runs (whatever it is: a namespace of a running daemon's
// name is never taken from it).
bool process_runs(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// The namespaces of the daemon's form for `name` whose daemon has gone.
std::vector<std::string> orphaned_namespaces(const std::string& name) {
    std::vector<std::string> out;
    DIR* dir = ::opendir(kNetnsFolder);
    if (!dir)
        return out;
    while (const dirent* e = ::readdir(dir)) {
        pid_t pid = 0;
        if (is_held_namespace(e->d_name, name, &pid) && !process_runs(pid))
            out.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return out;
}

} // namespace

bool give_back_record(const RestoreRecords& records, const RestoreRecord& r, const LogSink& log,
                      int heldNetns) {
    const std::string& name = r.settings.name;
    if (const auto problem = record_problem(r)) {
        log(kLogError,
            "the record of " + name + " is not acted on: " + *problem +
                "; it is kept for a look: " + records.key_text(name, r.stationNamespace));
        return false;
    }
    if (r.kind == RecordKind::Held) {
        const int netns = heldNetns >= 0 ? heldNetns : open_named_netns(r.namespaceName);
        bool found = false;
        const bool home = netns < 0 || bring_home(netns, name, r.namespaceName, log, found);
        if (netns >= 0 && netns != heldNetns)
            ::close(netns);
        if (!home)
            return false;
        if (const auto link = query_link(name)) {
            apply_settings(r.settings, name, link->index, SettingsTarget::Restore, log);
            log(kLogInfo, name + " given back to the station's stack");
        } else {
            log(kLogWarning, name + " is gone: nothing of it to give back");
        }
        delete_named_netns(r.namespaceName);
    } else if (query_link(name) && !restore_features(name, r.settings.features)) {
        log(kLogWarning, name + ": cannot be given back its offload settings");
    }
    records.remove(name, r.stationNamespace);
    return true;
}

bool give_back_damaged(const RestoreRecords& records, const std::string& name,
                       const RestoreRecord& partial, const LogSink& log) {
    const std::string kept = "; the record is kept for a look: " + records.key_text(name);
    if (!partial.owner.empty() && owner_running(partial.owner)) {
        log(kLogWarning, "the record of " + name + " is damaged; " + name +
                             " is held by the daemon with process id " + pid_of(partial.owner) +
                             ", left to it");
        return false;
    }
    if (!valid_interface_name(name)) {
        log(kLogError, "the record of \"" + name + "\" is damaged and names no interface" + kept);
        return true;
    }
    std::vector<std::string> places;
    if (is_held_namespace(partial.namespaceName, name))
        places.push_back(partial.namespaceName);
    for (auto& ns : orphaned_namespaces(name))
        if (ns != partial.namespaceName)
            places.push_back(std::move(ns));
    for (const auto& ns : places) {
        const int netns = open_named_netns(ns);
        if (netns < 0)
            continue;
        bool found = false;
        const bool home = bring_home(netns, name, ns, log, found);
        ::close(netns);
        if (!home)
            return false;
        if (!found)
            continue;
        delete_named_netns(ns);
        if (const auto link = query_link(name))
            apply_settings(checked_part(partial.settings), name, link->index,
                           SettingsTarget::Restore, log);
        log(kLogWarning, "the record of " + name + " is damaged: " + name +
                             " came home from the network namespace " + ns +
                             " and got back what of the record could be read" + kept);
        return true;
    }
    log(kLogWarning, "the record of " + name +
                         " is damaged; no namespace of a daemon that "
                         "has gone holds " +
                         name + kept);
    return true;
}

size_t give_back_leftovers(const RestoreRecords& records, const LogSink& log) {
    const auto hold = records.hold();
    size_t given = 0;
    for (const auto& name : records.names()) {
        std::string why;
        RestoreRecords::Fault fault = RestoreRecords::Fault::None;
        RestoreRecord partial;
        const auto r = records.load(name, why, 0, &fault, &partial);
        if (!r && fault == RestoreRecords::Fault::Damaged) {
            give_back_damaged(records, name, partial, log);
            continue;
        }
        if (!r && fault == RestoreRecords::Fault::Unfinished) {
            log(kLogWarning, why + "; nothing had been changed yet, so it is removed");
            records.remove(name);
            continue;
        }
        if (!r) {
            log(kLogError, why + "; it is left as it is");
            continue;
        }
        if (owner_running(r->owner)) {
            log(kLogInfo, name + " is held by the daemon with process id " + pid_of(r->owner) +
                              "; left to it");
            continue;
        }
        if (r->bootId != current_boot_id()) {
            log(kLogWarning, "the record of " + name + " is from an earlier boot: removed");
            records.remove(name);
            continue;
        }
        if (r->stationNamespace != current_netns_id()) {
            log(kLogWarning, name + " was taken from another network namespace; its record is "
                                    "left for a daemon there");
            continue;
        }
        log(kLogWarning, "giving back " + name + ", left behind by the daemon with process id " +
                             pid_of(r->owner));
        if (give_back_record(records, *r, log))
            ++given;
    }
    return given;
}

} // namespace quellin::edges
