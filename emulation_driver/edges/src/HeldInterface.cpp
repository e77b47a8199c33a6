#include "QuellinEdges/HeldInterface.h"

#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/Netlink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/rtnetlink.h>
#include <system_error>
#include <unistd.h>

namespace quellin::edges {

namespace {

std::string pid_of(const std::string& owner) {
    return owner.substr(0, owner.find(' '));
}

// Moves link `index` of the calling thread's namespace into the namespace of `target`.
int move_link(int index, int target) {
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    info.ifi_index = index;
    nl::Builder request(RTM_SETLINK, 0, info);
    request.put_u32(IFLA_NET_NS_FD, static_cast<uint32_t>(target));
    try {
        nl::Socket socket;
        return socket.request(request.message());
    } catch (const std::system_error& e) {
        return -e.code().value();
    }
}

int set_up(int index) {
    ifinfomsg info{};
    info.ifi_family = AF_UNSPEC;
    info.ifi_index = index;
    info.ifi_flags = IFF_UP;
    info.ifi_change = IFF_UP;
    try {
        nl::Socket socket;
        return socket.request(nl::Builder(RTM_SETLINK, 0, info).message());
    } catch (const std::system_error& e) {
        return -e.code().value();
    }
}

void write_sysctl(const std::string& path, const char* value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)!::write(fd, value, std::strlen(value));
    ::close(fd);
}

// Brings `name` home from `netns`: `found` tells whether it was there. False when it was
// there and could not be moved.
bool bring_home(int netns, int home, const std::string& name, const std::string& nsName,
                const LogSink& log, bool& found) {
    NetnsScope in(netns);
    found = false;
    if (!in.entered())
        return true;
    const auto link = query_link(name);
    if (!link)
        return true;
    found = true;
    if (const int rc = move_link(link->index, home); rc != 0) {
        log(kLogError, name + " stays in the network namespace " + nsName +
                           ": it cannot be moved back (" + std::strerror(-rc) +
                           (rc == -EEXIST ? ": an interface of its name is in the way)" : ")"));
        return false;
    }
    return true;
}

} // namespace

HeldInterface::HeldInterface(const RestoreRecords& records, RestoreRecord record, int netns,
                             int home)
    : m_records(records), m_record(std::move(record)), m_netns(netns), m_home(home) {}

HeldInterface::~HeldInterface() {
    if (m_netns >= 0)
        ::close(m_netns);
    if (m_home >= 0)
        ::close(m_home);
}

std::unique_ptr<HeldInterface> HeldInterface::take(const RestoreRecords& records,
                                                   const std::string& lower, const LogSink& log,
                                                   std::string& error) {
    const auto link = query_link(lower);
    if (!link) {
        error = "no interface " + lower;
        return nullptr;
    }
    if (link->loopback) {
        error = lower + " is the loopback interface";
        return nullptr;
    }
    if (link->master) {
        error = lower + " is a port of another interface (a bridge or a bond); bind that one";
        return nullptr;
    }
    std::string why;
    if (auto left = records.load(lower, why)) {
        if (owner_running(left->owner)) {
            error = lower + " is held by the daemon with process id " + pid_of(left->owner);
            return nullptr;
        }
        // What an earlier daemon left of an interface of this name comes back first; its
        // record must not be written over while it cannot.
        if (!give_back_record(records, *left, log)) {
            error = "an earlier " + lower + " is still held in " + left->namespaceName +
                    " and cannot come back";
            return nullptr;
        }
    }
    auto settings = capture_settings(lower, error);
    if (!settings)
        return nullptr;

    RestoreRecord r;
    r.kind = RecordKind::Held;
    r.namespaceName = "quellin-" + std::to_string(::getpid()) + "-" + lower;
    r.stationNamespace = current_netns_id();
    r.owner = self_owner();
    r.bootId = current_boot_id();
    r.settings = std::move(*settings);
    // Nothing changes before the way back is on record.
    if (const long rc = records.save(r); rc != 0) {
        records.remove(lower);
        error = "cannot write what is to be given back to the registry store (error " +
                std::to_string(rc) + ")";
        return nullptr;
    }
    const int home = open_current_netns();
    const int netns = home < 0 ? -1 : create_named_netns(r.namespaceName);
    if (netns < 0) {
        error =
            "cannot make the network namespace " + r.namespaceName + ": " + std::strerror(errno);
        if (home >= 0)
            ::close(home);
        records.remove(lower);
        return nullptr;
    }
    // Coalesced receives would reach the packet socket as frames larger than the MTU.
    if (!disable_receive_coalescing(lower))
        log(kLogWarning, "cannot switch receive coalescing off on " + lower);
    if (const int rc = move_link(link->index, netns); rc != 0) {
        restore_features(lower, r.settings.features);
        ::close(netns);
        ::close(home);
        delete_named_netns(r.namespaceName);
        records.remove(lower);
        error = lower + " cannot be moved into a network namespace of the daemon's own: " +
                std::strerror(-rc);
        return nullptr;
    }
    {
        // The daemon's namespace has no addresses and no IPv6 of its own: its stack stays
        // silent on the link.
        NetnsScope in(netns);
        write_sysctl("/proc/sys/net/ipv6/conf/" + lower + "/disable_ipv6", "1");
        const auto moved = query_link(lower);
        if (!moved || set_up(moved->index) != 0)
            log(kLogWarning, "cannot bring " + lower + " up in " + r.namespaceName);
    }
    log(kLogInfo, lower + " taken from the station's stack into the network namespace " +
                      r.namespaceName + " (" + std::to_string(r.settings.addresses.size()) +
                      " addresses, " + std::to_string(r.settings.routes.size()) + " routes)");
    return std::unique_ptr<HeldInterface>(new HeldInterface(records, std::move(r), netns, home));
}

std::optional<LinkState> HeldInterface::query() const {
    NetnsScope in(m_netns);
    if (!in.entered())
        return std::nullopt;
    return query_link(name());
}

std::unique_ptr<PacketSocket> HeldInterface::open_socket(int ifindex, bool mapped) const {
    NetnsScope in(m_netns);
    if (!in.entered())
        throw std::system_error(EBADF, std::generic_category(), "enter " + namespace_name());
    return std::make_unique<PacketSocket>(name(), ifindex, mapped);
}

std::unique_ptr<LinkMonitor> HeldInterface::open_monitor() const {
    NetnsScope in(m_netns);
    if (!in.entered())
        throw std::system_error(EBADF, std::generic_category(), "enter " + namespace_name());
    return std::make_unique<LinkMonitor>();
}

bool HeldInterface::give_to_station(const std::string& tap, int tapIndex,
                                    const LogSink& log) const {
    return apply_settings(settings(), tap, tapIndex, SettingsTarget::Copy, log);
}

bool HeldInterface::give_back(const LogSink& log) {
    if (m_done)
        return true;
    bool found = false;
    if (!bring_home(m_netns, m_home, name(), namespace_name(), log, found))
        return false;
    if (found) {
        if (const auto link = query_link(name()))
            apply_settings(settings(), name(), link->index, SettingsTarget::Restore, log);
        log(kLogInfo, name() + " given back to the station's stack");
    }
    forget(log);
    return true;
}

void HeldInterface::forget(const LogSink&) {
    if (m_done)
        return;
    delete_named_netns(namespace_name());
    m_records.remove(name());
    m_done = true;
}

bool give_back_record(const RestoreRecords& records, const RestoreRecord& r, const LogSink& log) {
    const std::string& name = r.settings.name;
    if (r.kind == RecordKind::Held) {
        const int netns = open_named_netns(r.namespaceName);
        if (netns >= 0) {
            const int home = open_current_netns();
            bool found = false;
            const bool home_ok = bring_home(netns, home, name, r.namespaceName, log, found);
            ::close(netns);
            if (home >= 0)
                ::close(home);
            if (!home_ok)
                return false;
        }
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
    records.remove(name);
    return true;
}

size_t give_back_leftovers(const RestoreRecords& records, const LogSink& log) {
    size_t given = 0;
    for (const auto& name : records.names()) {
        std::string why;
        const auto r = records.load(name, why);
        if (!r) {
            log(kLogWarning, why + "; nothing had been changed yet, so it is removed");
            records.remove(name);
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
