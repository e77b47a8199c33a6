#include "platform/Adapters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

using platform::adapters::query_adapter;

TEST(Adapters, LoopbackHasItsIpv4AddressAndNoGlobalIpv6) {
    auto lo = query_adapter("lo");
    ASSERT_TRUE(lo.has_value());
    EXPECT_EQ(lo->name, "lo");
    if (lo->hasIpv4) {
        EXPECT_EQ(lo->ipv4, htonl(INADDR_LOOPBACK));
    }
    // ::1 is neither global nor link-local.
    for (uint8_t b : lo->ipv6)
        EXPECT_EQ(b, 0);
}

TEST(Adapters, UnknownInterfaceIsNotFound) {
    EXPECT_FALSE(query_adapter("no-such-if0").has_value());
    EXPECT_FALSE(query_adapter("").has_value());
}
