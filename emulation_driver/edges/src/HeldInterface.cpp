#include "QuellinEdges/HeldInterface.h"

#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/Netlink.h"
#include "QuellinEdges/RecordCheck.h"

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

} // namespace

HeldInterface::HeldInterface(const RestoreRecords& records, RestoreRecord record, int netns)
    : m_records(records), m_record(std::move(record)), m_netns(netns) {}

HeldInterface::~HeldInterface() {
    if (m_netns >= 0)
        ::close(m_netns);
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
    // From what an earlier daemon's record holds to this daemon's record on its place, no
    // other daemon reads or writes the records.
    const auto hold = records.hold();
    std::string why;
    RestoreRecords::Fault fault = RestoreRecords::Fault::None;
    RestoreRecord partial;
    if (auto left = records.load(lower, why, 0, &fault, &partial)) {
        if (owner_running(left->owner)) {
            error = lower + " is held by the daemon with process id " + pid_of(left->owner);
            return nullptr;
        }
        // What an earlier daemon left of an interface of this name comes back first; its
        // record must not be written over while it cannot.
        if (!give_back_record(records, *left, log)) {
            const auto problem = record_problem(*left);
            error = problem ? "the record of " + lower + " is not acted on: " + *problem
                            : "an earlier " + lower + " is still held in " + left->namespaceName +
                                  " and cannot come back";
            return nullptr;
        }
    } else if (fault == RestoreRecords::Fault::Damaged) {
        if (!give_back_damaged(records, lower, partial, log)) {
            error = "the damaged record of " + lower + " is of an interface still held";
            return nullptr;
        }
        log(kLogWarning, "the damaged record of " + lower + " gives way to this daemon's");
    } else if (fault == RestoreRecords::Fault::Unreadable) {
        error = why;
        return nullptr;
    }
    auto settings = capture_settings(lower, error);
    if (!settings)
        return nullptr;

    RestoreRecord r;
    r.kind = RecordKind::Held;
    r.namespaceName = held_namespace_name(::getpid(), lower);
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
    const int netns = create_named_netns(r.namespaceName);
    if (netns < 0) {
        error =
            "cannot make the network namespace " + r.namespaceName + ": " + std::strerror(errno);
        records.remove(lower);
        return nullptr;
    }
    // Coalesced receives would reach the packet socket as frames larger than the MTU.
    if (!disable_receive_coalescing(lower))
        log(kLogWarning, "cannot switch receive coalescing off on " + lower);
    if (const int rc = move_link(link->index, netns); rc != 0) {
        restore_features(lower, r.settings.features);
        ::close(netns);
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
    return std::unique_ptr<HeldInterface>(new HeldInterface(records, std::move(r), netns));
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
    const auto hold = m_records.hold();
    if (!give_back_record(m_records, m_record, log, m_netns))
        return false;
    m_done = true;
    return true;
}

void HeldInterface::forget(const LogSink&) {
    if (m_done)
        return;
    const auto hold = m_records.hold();
    delete_named_netns(namespace_name());
    m_records.remove(name(), m_record.stationNamespace);
    m_done = true;
}

} // namespace quellin::edges
