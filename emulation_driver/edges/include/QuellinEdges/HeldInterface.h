// A lower interface taken from the station's stack. Its record is saved first; then it is
// moved into a named network namespace of the daemon's own (which outlives the daemon, so
// a SIGKILL loses neither the interface nor the way back), brought up there with IPv6 off,
// and what it was configured with goes to the station's TAP. Giving it back moves it home
// and puts every setting back; a daemon that was killed does so on its next start from the
// records it finds.
#pragma once

#include "QuellinEdges/FramePort.h"
#include "QuellinEdges/GiveBack.h"
#include "QuellinEdges/Links.h"
#include "QuellinEdges/Log.h"
#include "QuellinEdges/RestoreRecords.h"

#include <memory>
#include <optional>
#include <string>

namespace quellin::edges {

class HeldInterface {
public:
    // Takes `lower`, an interface of the calling thread's namespace; nullptr with a reason
    // (nothing changed) when it cannot be taken.
    static std::unique_ptr<HeldInterface> take(const RestoreRecords& records,
                                               const std::string& lower, const LogSink& log,
                                               std::string& error);
    ~HeldInterface();
    HeldInterface(const HeldInterface&) = delete;
    HeldInterface& operator=(const HeldInterface&) = delete;

    const std::string& name() const { return m_record.settings.name; }
    const std::string& namespace_name() const { return m_record.namespaceName; }
    const InterfaceSettings& settings() const { return m_record.settings; }

    // The interface in the daemon's namespace; nullopt when it is not there.
    std::optional<LinkState> query() const;
    // A packet socket on it and a monitor of the links there; throw std::system_error.
    std::unique_ptr<PacketSocket> open_socket(int ifindex, bool mapped = true) const;
    std::unique_ptr<LinkMonitor> open_monitor() const;

    // Gives the station's TAP (in the calling thread's namespace) what the interface had.
    bool give_to_station(const std::string& tap, int tapIndex, const LogSink& log) const;
    // Moves the interface home and gives back every setting (give_back_record); then the
    // namespace and the record go. False (the record kept for a later try) when it cannot be
    // moved home.
    bool give_back(const LogSink& log);
    // The interface went away: the namespace and the record go.
    void forget(const LogSink& log);

private:
    HeldInterface(const RestoreRecords& records, RestoreRecord record, int netns);

    const RestoreRecords& m_records;
    RestoreRecord m_record;
    int m_netns = -1;
    bool m_done = false;
};

} // namespace quellin::edges
