#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <cstring>

#include "support/Sandbox.h"

// Window tests open sockets (the program searches on start), so they run only inside a private
// network namespace, and off-screen unless told otherwise.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) tarvo::test::requireSandboxOrExit();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests start a fresh copy of this program: a forked Qt would inherit its threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
