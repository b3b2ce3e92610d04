#include <gtest/gtest.h>

#include <cstring>

#include "support/Sandbox.h"

// Network tests open sockets: they run only inside a private network namespace. Listing the
// tests needs no network and is allowed anywhere.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) tarvo::test::requireSandboxOrExit();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
