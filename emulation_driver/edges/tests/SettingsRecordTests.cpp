// The pieces of taking an interface's configuration elsewhere and back, without a kernel:
// the requests made from captured messages, and the record in the registry store.
#include "QuellinEdges/InterfaceSettings.h"
#include "QuellinEdges/Namespaces.h"
#include "QuellinEdges/Netlink.h"
#include "QuellinEdges/RecordCheck.h"
#include "QuellinEdges/RestoreRecords.h"

#include "TestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <linux/if_addr.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quellin::edges;

namespace {

constexpr uint32_t kForever = 0xFFFFFFFF;

nl::Message address(uint8_t family, uint32_t flags, uint32_t valid, uint32_t preferred,
                    const std::string& label = "") {
    ifaddrmsg h{};
    h.ifa_family = family;
    h.ifa_prefixlen = family == AF_INET ? 24 : 64;
    h.ifa_flags = static_cast<uint8_t>(flags);
    h.ifa_index = 2;
    nl::Builder b(RTM_NEWADDR, 0, h);
    const uint8_t bytes[16] = {198, 18, 0, 1};
    b.put(IFA_ADDRESS, bytes, family == AF_INET ? 4 : 16);
    if (!label.empty())
        b.put_string(IFA_LABEL, label);
    b.put_u32(IFA_FLAGS, flags);
    ifa_cacheinfo ci{preferred, valid, 123, 456};
    b.put(IFA_CACHEINFO, &ci, sizeof ci);
    return b.message();
}

template <class T>
T header_of(const nl::Message& m) {
    T h{};
    std::memcpy(&h, m.body.data(), sizeof h);
    return h;
}

ifa_cacheinfo cacheinfo_of(const nl::Message& m) {
    ifa_cacheinfo ci{};
    const auto a = nl::find(nl::attributes(m, sizeof(ifaddrmsg)), IFA_CACHEINFO);
    if (a)
        std::memcpy(&ci, a->data, sizeof ci);
    return ci;
}

nl::Message route(uint8_t protocol, int oif, bool multipath = false) {
    rtmsg r{};
    r.rtm_family = AF_INET;
    r.rtm_table = RT_TABLE_MAIN;
    r.rtm_protocol = protocol;
    r.rtm_type = RTN_UNICAST;
    r.rtm_flags = RTNH_F_LINKDOWN | RTNH_F_ONLINK;
    nl::Builder b(RTM_NEWROUTE, 0, r);
    const uint8_t gw[4] = {198, 18, 0, 2};
    b.put(RTA_GATEWAY, gw, 4);
    b.put_u32(RTA_PRIORITY, 100);
    b.put_u32(RTA_TABLE, RT_TABLE_MAIN);
    if (multipath) {
        std::vector<uint8_t> hops;
        for (int index : {oif, 9}) {
            rtnexthop hop{};
            hop.rtnh_len = sizeof hop;
            hop.rtnh_ifindex = index;
            hop.rtnh_flags = RTNH_F_DEAD;
            const auto* p = reinterpret_cast<const uint8_t*>(&hop);
            hops.insert(hops.end(), p, p + sizeof hop);
        }
        b.put(RTA_MULTIPATH, hops.data(), hops.size());
    } else {
        b.put_u32(RTA_OIF, static_cast<uint32_t>(oif));
    }
    rta_cacheinfo ci{};
    b.put(RTA_CACHEINFO, &ci, sizeof ci);
    const size_t metrics = b.begin_nested(RTA_METRICS);
    b.put_u32(RTAX_MTU, 1400);
    b.end_nested(metrics);
    return b.message();
}

} // namespace

TEST(SettingsRequests, AnAddressMovesWithWhatIsLeftOfItsLifetimesAndItsOwnFlags) {
    const uint32_t flags =
        IFA_F_NODAD | IFA_F_NOPREFIXROUTE | IFA_F_TEMPORARY | IFA_F_PERMANENT | IFA_F_TENTATIVE;
    auto r = address_request(address(AF_INET6, flags, 3600, 1800), 7, "ql0", "eth0", 100);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, RTM_NEWADDR);
    EXPECT_EQ(r->flags, NLM_F_CREATE | NLM_F_REPLACE);
    EXPECT_EQ(header_of<ifaddrmsg>(*r).ifa_index, 7u);
    const auto attrs = nl::attributes(*r, sizeof(ifaddrmsg));
    // The kernel's own state stays behind: a request may only ask for these.
    EXPECT_EQ(nl::find(attrs, IFA_FLAGS)->u32(), IFA_F_NODAD | IFA_F_NOPREFIXROUTE);
    EXPECT_EQ(header_of<ifaddrmsg>(*r).ifa_flags, IFA_F_NODAD);
    const auto ci = cacheinfo_of(*r);
    EXPECT_EQ(ci.ifa_valid, 3500u);
    EXPECT_EQ(ci.ifa_prefered, 1700u);
    EXPECT_EQ(ci.cstamp, 0u);

    // A preferred lifetime that ran out leaves the address deprecated; a valid one that
    // ran out leaves nothing to move.
    EXPECT_EQ(cacheinfo_of(*address_request(address(AF_INET6, 0, 3600, 50), 7, "ql0", "eth0", 100))
                  .ifa_prefered,
              0u);
    EXPECT_FALSE(address_request(address(AF_INET6, 0, 90, 50), 7, "ql0", "eth0", 100));
    // Forever stays forever (without lifetimes of its own in the request).
    auto forever = address_request(address(AF_INET, 0, kForever, kForever), 7, "ql0", "eth0", 5000);
    ASSERT_TRUE(forever);
    EXPECT_FALSE(nl::find(nl::attributes(*forever, sizeof(ifaddrmsg)), IFA_CACHEINFO));
}

TEST(SettingsRequests, AnAddressLabelFollowsTheInterfacesName) {
    auto label_of = [](const nl::Message& m) {
        const auto a = nl::find(nl::attributes(m, sizeof(ifaddrmsg)), IFA_LABEL);
        return a ? a->text() : std::string("(none)");
    };
    EXPECT_EQ(label_of(*address_request(address(AF_INET, 0, kForever, kForever, "eth0:web"), 7,
                                        "ql0", "eth0", 0)),
              "ql0:web");
    EXPECT_EQ(label_of(*address_request(address(AF_INET, 0, kForever, kForever, "eth0"), 2, "eth0",
                                        "eth0", 0)),
              "eth0");
    // A label that would grow past an interface name's length is left to the kernel.
    EXPECT_EQ(label_of(*address_request(address(AF_INET, 0, kForever, kForever, "e:0123456789ab"),
                                        7, "eth0", "e", 0)),
              "(none)");
}

TEST(SettingsRequests, ARouteMovesOntoTheNewInterfaceWithoutTheKernelsState) {
    auto r = route_request(route(RTPROT_BOOT, 2), 2, 7, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->flags, NLM_F_CREATE | NLM_F_EXCL);
    EXPECT_EQ(header_of<rtmsg>(*r).rtm_flags, RTNH_F_ONLINK);
    const auto attrs = nl::attributes(*r, sizeof(rtmsg));
    EXPECT_EQ(nl::find(attrs, RTA_OIF)->u32(), 7u);
    EXPECT_EQ(nl::find(attrs, RTA_PRIORITY)->u32(), 100u);
    EXPECT_TRUE(nl::find(attrs, RTA_GATEWAY));
    EXPECT_FALSE(nl::find(attrs, RTA_CACHEINFO));
    const auto metrics = nl::find(attrs, RTA_METRICS);
    ASSERT_TRUE(metrics);
    const auto inner = nl::attributes(metrics->data, metrics->size);
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner[0].type, RTAX_MTU);
    EXPECT_EQ(inner[0].u32(), 1400u);
    EXPECT_TRUE(route_uses(route(RTPROT_BOOT, 2), 2));
    EXPECT_FALSE(route_uses(route(RTPROT_BOOT, 3), 2));

    // Only the next hop through the interface moves.
    auto mp = route_request(route(RTPROT_STATIC, 2, true), 2, 7, 0);
    ASSERT_TRUE(mp);
    EXPECT_TRUE(route_uses(route(RTPROT_STATIC, 2, true), 2));
    const auto hops = nl::find(nl::attributes(*mp, sizeof(rtmsg)), RTA_MULTIPATH);
    ASSERT_TRUE(hops);
    ASSERT_EQ(hops->size, 2 * sizeof(rtnexthop));
    rtnexthop a{}, b{};
    std::memcpy(&a, hops->data, sizeof a);
    std::memcpy(&b, hops->data + sizeof a, sizeof b);
    EXPECT_EQ(a.rtnh_ifindex, 7);
    EXPECT_EQ(b.rtnh_ifindex, 9);
    EXPECT_EQ(a.rtnh_flags, 0);

    // The kernel makes its own routes again from the addresses.
    EXPECT_FALSE(route_request(route(RTPROT_KERNEL, 2), 2, 7, 0));
}

TEST(SettingsRequests, AnIpv6RouteKeepsWhatIsLeftOfItsLifetime) {
    rtmsg r{};
    r.rtm_family = AF_INET6;
    r.rtm_protocol = RTPROT_RA;
    nl::Builder b(RTM_NEWROUTE, 0, r);
    b.put_u32(RTA_OIF, 2);
    rta_cacheinfo ci{};
    const long hz = ::sysconf(_SC_CLK_TCK);
    ci.rta_expires = static_cast<int32_t>(1800 * hz);
    b.put(RTA_CACHEINFO, &ci, sizeof ci);
    auto req = route_request(b.message(), 2, 7, 300);
    ASSERT_TRUE(req);
    EXPECT_EQ(nl::find(nl::attributes(*req, sizeof(rtmsg)), RTA_EXPIRES)->u32(), 1500u);
    EXPECT_FALSE(route_request(b.message(), 2, 7, 1800));
    // Routes through a next-hop object do not move: the object went with the interface.
    nl::Builder shared(RTM_NEWROUTE, 0, r);
    shared.put_u32(RTA_NH_ID, 5);
    EXPECT_FALSE(route_request(shared.message(), 2, 7, 0));
}

TEST(SettingsRequests, AStaticNeighbourMovesWithItsAddresses) {
    ndmsg n{};
    n.ndm_family = AF_INET;
    n.ndm_ifindex = 2;
    n.ndm_state = NUD_PERMANENT;
    n.ndm_flags = NTF_ROUTER | NTF_SELF;
    nl::Builder b(RTM_NEWNEIGH, 0, n);
    const uint8_t dst[4] = {198, 18, 0, 9};
    const uint8_t mac[6] = {2, 0, 0, 0, 0, 9};
    b.put(NDA_DST, dst, 4);
    b.put(NDA_LLADDR, mac, 6);
    b.put_u32(NDA_PROBES, 3);
    auto r = neighbour_request(b.message(), 7);
    ASSERT_TRUE(r);
    const auto h = header_of<ndmsg>(*r);
    EXPECT_EQ(h.ndm_ifindex, 7);
    EXPECT_EQ(h.ndm_state, NUD_PERMANENT);
    EXPECT_EQ(h.ndm_flags, NTF_ROUTER);
    const auto attrs = nl::attributes(*r, sizeof(ndmsg));
    EXPECT_EQ(attrs.size(), 2u);
    EXPECT_EQ(nl::find(attrs, NDA_LLADDR)->size, 6u);
}

TEST(NetlinkMessages, JoinAndSplitKeepEveryMessageAndStopAtAMalformedOne) {
    std::vector<nl::Message> in = {address(AF_INET, 0, 10, 5, "eth0"), route(RTPROT_BOOT, 2)};
    auto bytes = nl::join(in);
    auto out = nl::split(bytes.data(), bytes.size());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].body, in[0].body);
    EXPECT_EQ(out[1].type, RTM_NEWROUTE);
    // A length running past the buffer ends the list there.
    bytes[nl::join({in[0]}).size()] = 0xFF;
    bytes[nl::join({in[0]}).size() + 1] = 0x7F;
    EXPECT_EQ(nl::split(bytes.data(), bytes.size()).size(), 1u);
    // An attribute longer than its message ends the attributes.
    auto m = in[0];
    const size_t first = NLMSG_ALIGN(sizeof(ifaddrmsg));
    m.body[first] = 0xF0;
    EXPECT_TRUE(nl::attributes(m, sizeof(ifaddrmsg)).empty());
}

TEST(RestoreRecords, ARecordComesBackAsItWasWrittenAndOnlyWhole) {
    testsupport::TempDir dir("records");
    platform::registry::Registry registry(dir.str());
    RestoreRecords records(registry);
    RestoreRecord r;
    r.kind = RecordKind::Held;
    r.namespaceName = "quellin-42-eth0";
    r.stationNamespace = current_netns_id();
    r.owner = "42 12345";
    r.bootId = "b0";
    r.settings.name = "eth0";
    r.settings.index = 2;
    r.settings.flags = 0x1043;
    r.settings.mtu = 9000;
    r.settings.features = {0xDEADBEEF, 0x1};
    r.settings.sysctls = {{"ipv4/conf/rp_filter", "2"}, {"ipv6/conf/stable_secret", "a b=c"}};
    r.settings.addresses = {address(AF_INET, 0, 10, 5, "eth0"), address(AF_INET6, 2, 9, 9)};
    r.settings.routes = {route(RTPROT_BOOT, 2)};
    r.settings.capturedAt = 777;
    ASSERT_EQ(records.save(r), 0);
    EXPECT_EQ(records.names(), std::vector<std::string>{"eth0"});

    std::string why;
    const auto back = records.load("eth0", why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->kind, RecordKind::Held);
    EXPECT_EQ(back->namespaceName, r.namespaceName);
    EXPECT_EQ(back->stationNamespace, r.stationNamespace);
    EXPECT_EQ(back->owner, r.owner);
    EXPECT_EQ(back->bootId, r.bootId);
    EXPECT_EQ(back->settings.index, 2);
    EXPECT_EQ(back->settings.flags, 0x1043u);
    EXPECT_EQ(back->settings.mtu, 9000u);
    EXPECT_EQ(back->settings.features, r.settings.features);
    EXPECT_EQ(back->settings.sysctls, r.settings.sysctls);
    EXPECT_EQ(back->settings.capturedAt, 777u);
    ASSERT_EQ(back->settings.addresses.size(), 2u);
    EXPECT_EQ(back->settings.addresses[1].body, r.settings.addresses[1].body);
    ASSERT_EQ(back->settings.routes.size(), 1u);
    EXPECT_EQ(back->settings.routes[0].body, r.settings.routes[0].body);
    EXPECT_TRUE(back->settings.neighbours.empty());

    // A key without its record (a write cut short) is unfinished; a mangled one damaged,
    // with what of it could be read.
    const std::string eth1 =
        std::string(kRestoreKey) + "\\" + std::to_string(current_netns_id()) + "\\eth1";
    ASSERT_EQ(registry.createKey(platform::registry::Hive::LocalMachine, eth1), 0);
    RestoreRecords::Fault fault = RestoreRecords::Fault::None;
    EXPECT_FALSE(records.load("eth1", why, 0, &fault));
    EXPECT_NE(why.find("unfinished"), std::string::npos);
    EXPECT_EQ(fault, RestoreRecords::Fault::Unfinished);
    ASSERT_EQ(registry.setValue(
                  platform::registry::Hive::LocalMachine, eth1, "Record",
                  platform::registry::Value::MultiSz({"kind=held", "namespace=quellin-7-eth1",
                                                      "owner=7 1", "address zz", "mtu=1400"})),
              0);
    RestoreRecord partial;
    EXPECT_FALSE(records.load("eth1", why, 0, &fault, &partial));
    EXPECT_NE(why.find("damaged"), std::string::npos);
    EXPECT_EQ(fault, RestoreRecords::Fault::Damaged);
    EXPECT_EQ(partial.namespaceName, "quellin-7-eth1");
    EXPECT_EQ(partial.owner, "7 1");
    EXPECT_EQ(partial.settings.mtu, 1400u);
    EXPECT_EQ(records.key_text("eth1"), "HKEY_LOCAL_MACHINE\\" + eth1);

    EXPECT_EQ(records.remove("eth0"), 0);
    EXPECT_EQ(records.remove("eth1"), 0);
    EXPECT_TRUE(records.names().empty());
    EXPECT_EQ(records.remove("eth0"), 0); // gone already
}

// Records are kept per network namespace: daemons of two namespaces never meet. A record
// an earlier release kept by interface name alone moves under its namespace.
TEST(RestoreRecords, RecordsOfTwoNamespacesAreApartAndAnEarlierLayoutsMoveUnderTheirs) {
    testsupport::TempDir dir("records");
    platform::registry::Registry registry(dir.str());
    RestoreRecords records(registry);
    RestoreRecord mine;
    mine.kind = RecordKind::Settings;
    mine.owner = "1 1";
    mine.settings.name = "eth0";
    mine.stationNamespace = current_netns_id();
    RestoreRecord other = mine;
    other.stationNamespace = current_netns_id() + 1;
    other.owner = "2 2";
    ASSERT_EQ(records.save(mine), 0);
    ASSERT_EQ(records.save(other), 0);
    std::string why;
    EXPECT_EQ(records.load("eth0", why)->owner, "1 1");
    EXPECT_EQ(records.load("eth0", why, other.stationNamespace)->owner, "2 2");
    EXPECT_EQ(records.remove("eth0"), 0);
    EXPECT_TRUE(records.names().empty());
    EXPECT_EQ(records.names(other.stationNamespace), std::vector<std::string>{"eth0"});

    const std::string earlier = std::string(kRestoreKey) + "\\eth5";
    ASSERT_EQ(registry.createKey(platform::registry::Hive::LocalMachine, earlier), 0);
    ASSERT_EQ(registry.setValue(platform::registry::Hive::LocalMachine, earlier, "Record",
                                platform::registry::Value::MultiSz(
                                    {"kind=settings",
                                     "station-namespace=" + std::to_string(mine.stationNamespace),
                                     "owner=5 5", "features="})),
              0);
    EXPECT_EQ(records.names(), std::vector<std::string>{"eth5"});
    ASSERT_TRUE(records.load("eth5", why)) << why;
    EXPECT_EQ(registry.openKey(platform::registry::Hive::LocalMachine, earlier),
              platform::registry::kFileNotFound);
}

TEST(RestoreRecords, AnOwnerRunsOnlyWhileItsProcessWithItsStartTimeDoes) {
    EXPECT_TRUE(owner_running(self_owner()));
    const std::string mine = self_owner();
    EXPECT_FALSE(owner_running(mine.substr(0, mine.find(' ')) + " 1")); // a later process
    EXPECT_FALSE(owner_running("2147483646 5"));
    EXPECT_FALSE(owner_running(""));
    EXPECT_FALSE(owner_running("x y"));
    EXPECT_FALSE(current_boot_id().empty());
}

// A record may only make the daemon act on the one interface it names: whatever else it
// asks for is refused, and of a damaged one only what passes is given back.
TEST(RecordCheck, ARecordActsOnlyOnItsOwnInterface) {
    RestoreRecord good;
    good.kind = RecordKind::Held;
    good.namespaceName = "quellin-42-eth0";
    good.owner = "42 777";
    good.settings.name = "eth0";
    good.settings.index = 2;
    good.settings.sysctls = {{"ipv4/conf/rp_filter", "2"}, {"ipv6/neigh/retrans_time_ms", "1000"}};
    good.settings.addresses = {address(AF_INET, 0, kForever, kForever)};
    good.settings.routes = {route(RTPROT_BOOT, 2)};
    EXPECT_EQ(record_problem(good), std::nullopt);

    const auto refused = [&](const std::function<void(RestoreRecord&)>& change) {
        RestoreRecord r = good;
        change(r);
        return record_problem(r).has_value();
    };
    for (const char* key : {"ipv4/conf/../../../../etc/shadow", "ipv4/conf/..", "ipv4/conf/a/b",
                            "kernel/core_pattern", "ipv4/conf/", "ipv4/route/flush"})
        EXPECT_TRUE(refused([&](RestoreRecord& r) { r.settings.sysctls.emplace_back(key, "1"); }))
            << key;
    EXPECT_TRUE(refused([](RestoreRecord& r) { r.settings.sysctls[0].second = "1\n2"; }));
    // Only a namespace of the daemon's own form, for this interface and this owner.
    for (const char* ns : {"altlab-ws-1", "quellin-42-eth1", "quellin-42-eth0x", "quellin--eth0",
                           "quellin-43-eth0", "../quellin-42-eth0", ""})
        EXPECT_TRUE(refused([&](RestoreRecord& r) { r.namespaceName = ns; })) << ns;
    for (const char* name : {"../eth0", "eth0/x", "", "a-name-too-long-for-linux"})
        EXPECT_TRUE(refused([&](RestoreRecord& r) { r.settings.name = name; })) << name;
    // Addresses, routes (each next hop) and neighbours of other interfaces.
    EXPECT_TRUE(refused([](RestoreRecord& r) { r.settings.index = 3; }));
    EXPECT_TRUE(
        refused([](RestoreRecord& r) { r.settings.routes.push_back(route(RTPROT_BOOT, 5)); }));
    EXPECT_TRUE(refused(
        [](RestoreRecord& r) { r.settings.routes.push_back(route(RTPROT_BOOT, 2, true)); }));
    EXPECT_TRUE(refused([](RestoreRecord& r) {
        ndmsg n{};
        n.ndm_family = AF_INET;
        n.ndm_ifindex = 7;
        n.ndm_state = NUD_PERMANENT;
        r.settings.neighbours.push_back(nl::Builder(RTM_NEWNEIGH, 0, n).message());
    }));
    // A settings record names no namespace.
    RestoreRecord settings = good;
    settings.kind = RecordKind::Settings;
    settings.namespaceName.clear();
    EXPECT_EQ(record_problem(settings), std::nullopt);

    RestoreRecord mixed = good;
    mixed.settings.sysctls.emplace_back("ipv4/conf/../../x", "1");
    mixed.settings.routes.push_back(route(RTPROT_BOOT, 5));
    const InterfaceSettings part = checked_part(mixed.settings);
    EXPECT_EQ(part.sysctls, good.settings.sysctls);
    EXPECT_EQ(part.routes.size(), 1u);
    EXPECT_EQ(part.addresses.size(), 1u);
}
