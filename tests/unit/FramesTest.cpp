#include <gtest/gtest.h>

#include "core/protocol/Frames.h"

using namespace tarvo::protocol;

TEST(Frames, DiscoveryRequestIsSixBytes) {
    const Frame f = discoveryRequest();
    ASSERT_EQ(f.size, 6u);
}
