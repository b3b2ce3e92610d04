#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/Sandbox.h"

#if defined(__SANITIZE_THREAD__)
// libavcodec's frame threads hand finished pictures over through an atomic state that the
// library, built without the sanitizer, reads without its lock when the picture is already
// done: the sanitizer cannot see that handover, so the library's own memory calls are ignored.
// Every access made by this program's own code is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libavcodec.so\ncalled_from_lib:libavutil.so\n";
}
#endif

// Network tests open sockets: they run only inside a private network namespace. Listing the
// tests needs no network and is allowed anywhere.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) tarvo::test::requireSandboxOrExit();
    // The messages are checked in the program's own language, Chinese, whatever the machine's
    // is; a test that wants another sets the locale of the program it runs.
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "zh_CN.UTF-8", 1);
    // The build tree's MAC helper, for this process and the programs it starts.
    ::setenv("TARVO_MACWATCH", TARVO_MACWATCH_PATH, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
