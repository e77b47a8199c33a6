#include "QuellinEdges/Links.h"

#include <gtest/gtest.h>

#include <cstring>
#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

using namespace quellin::edges;

namespace {

// One rtnetlink link message, built field by field.
class LinkMessage {
public:
    LinkMessage(uint16_t type, int index, unsigned flags) {
        nlmsghdr h{};
        h.nlmsg_type = type;
        m_bytes.resize(NLMSG_LENGTH(sizeof(ifinfomsg)));
        ifinfomsg info{};
        info.ifi_index = index;
        info.ifi_flags = flags;
        std::memcpy(m_bytes.data() + NLMSG_HDRLEN, &info, sizeof info);
        std::memcpy(m_bytes.data(), &h, sizeof h);
        m_bytes.resize(NLMSG_ALIGN(m_bytes.size()));
    }
    LinkMessage& attr(uint16_t type, const void* data, size_t n) {
        rtattr a{};
        a.rta_type = type;
        a.rta_len = static_cast<unsigned short>(RTA_LENGTH(n));
        const size_t at = m_bytes.size();
        m_bytes.resize(at + RTA_SPACE(n));
        std::memcpy(m_bytes.data() + at, &a, sizeof a);
        std::memcpy(m_bytes.data() + at + RTA_LENGTH(0), data, n);
        return *this;
    }
    LinkMessage& name(const char* s) { return attr(IFLA_IFNAME, s, std::strlen(s) + 1); }
    std::vector<uint8_t> bytes() const {
        auto out = m_bytes;
        const uint32_t len = static_cast<uint32_t>(out.size());
        std::memcpy(out.data(), &len, 4);
        return out;
    }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace

TEST(LinkMessages, NewAndRemovedLinksWithTheirState) {
    const uint32_t mtu = 1400;
    const uint8_t mac[6] = {0x02, 0, 0, 0, 0, 0x07};
    auto a = LinkMessage(RTM_NEWLINK, 7, IFF_UP | IFF_LOWER_UP)
                 .name("veth0")
                 .attr(IFLA_MTU, &mtu, 4)
                 .attr(IFLA_ADDRESS, mac, 6)
                 .bytes();
    auto b = LinkMessage(RTM_DELLINK, 9, 0).name("veth1").bytes();
    std::vector<uint8_t> buf = a;
    buf.insert(buf.end(), b.begin(), b.end());

    const auto events = parse_link_messages(buf.data(), buf.size());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[0].removed);
    EXPECT_EQ(events[0].link.name, "veth0");
    EXPECT_EQ(events[0].link.index, 7);
    EXPECT_TRUE(events[0].link.adminUp);
    EXPECT_TRUE(events[0].link.carrier);
    EXPECT_EQ(events[0].link.mtu, 1400u);
    ASSERT_TRUE(events[0].link.hasMac);
    EXPECT_EQ(events[0].link.mac[5], 0x07);
    EXPECT_TRUE(events[1].removed);
    EXPECT_EQ(events[1].link.name, "veth1");
    EXPECT_FALSE(events[1].link.carrier);
}

TEST(LinkMessages, DamagedAndForeignMessagesAreSkippedSafely) {
    const auto good = LinkMessage(RTM_NEWLINK, 3, IFF_UP).name("eth0").bytes();
    // A cut buffer never reads past its end.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_TRUE(parse_link_messages(cut.data(), cut.size()).empty()) << n;
    }
    // An attribute claiming more than its message holds ends the attributes.
    auto bad = LinkMessage(RTM_NEWLINK, 4, 0).name("eth1").bytes();
    rtattr a{};
    std::memcpy(&a, bad.data() + NLMSG_LENGTH(sizeof(ifinfomsg)), sizeof a);
    a.rta_len = 200;
    std::memcpy(bad.data() + NLMSG_LENGTH(sizeof(ifinfomsg)), &a, sizeof a);
    EXPECT_TRUE(parse_link_messages(bad.data(), bad.size()).empty()); // no name: skipped
    // An address message, and a link without a name, carry no link event.
    auto addr = LinkMessage(RTM_NEWADDR, 5, 0).name("eth2").bytes();
    auto nameless = LinkMessage(RTM_NEWLINK, 6, 0).bytes();
    std::vector<uint8_t> buf(addr.size() + nameless.size() + good.size());
    auto at = std::copy(addr.begin(), addr.end(), buf.begin());
    at = std::copy(nameless.begin(), nameless.end(), at);
    std::copy(good.begin(), good.end(), at);
    const auto events = parse_link_messages(buf.data(), buf.size());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].link.name, "eth0");
}
