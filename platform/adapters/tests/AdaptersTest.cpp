#include "platform/Adapters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

using platform::adapters::Ipv6Address;
using platform::adapters::preferred_ipv6;
using platform::adapters::query_adapter;

TEST(Adapters, LoopbackHasItsIpv4AddressAndNoGlobalIpv6) {
    auto lo = query_adapter("lo");
    ASSERT_TRUE(lo.has_value());
    EXPECT_EQ(lo->name, "lo");
    if (lo->hasIpv4) {
        EXPECT_EQ(lo->ipv4, htonl(INADDR_LOOPBACK));
        EXPECT_EQ(lo->ipv4Mask, htonl(0xFF000000));
    }
    // ::1 is neither global nor link-local.
    for (uint8_t b : lo->ipv6)
        EXPECT_EQ(b, 0);
}

TEST(Adapters, UnknownInterfaceIsNotFound) {
    EXPECT_FALSE(query_adapter("no-such-if0").has_value());
    EXPECT_FALSE(query_adapter("").has_value());
}

TEST(Adapters, GlobalIpv6BeforeLinkLocalBeforeNothing) {
    const Ipv6Address linkLocal{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Ipv6Address linkLocal2{0xFE, 0xBF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    const Ipv6Address global1{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Ipv6Address global2{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    const Ipv6Address loopback{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Ipv6Address multicast{0xFF, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Ipv6Address zero{};

    EXPECT_EQ(preferred_ipv6({linkLocal, global1, global2}), global1);
    EXPECT_EQ(preferred_ipv6({linkLocal2, linkLocal}), linkLocal2);
    EXPECT_EQ(preferred_ipv6({loopback, multicast, zero, linkLocal}), linkLocal);
    EXPECT_EQ(preferred_ipv6({loopback, multicast}), zero);
    EXPECT_EQ(preferred_ipv6({}), zero);
}
