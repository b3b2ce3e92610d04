// The programs' side of the MAC helper, against stand-in helpers (shell scripts that open no
// socket): a helper that is missing, ends at once or never says it is ready leaves the
// programs without frames after a bounded wait, and one that ends while it is asked for its
// frames costs the program nothing (no SIGPIPE).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/net/ReplyFrameTap.h"

using namespace tarvo::net;
using namespace std::chrono_literals;

namespace {

// The ready record, as printf writes it.
const std::string kReady = "printf 'R" + [] {
    std::string zeros;
    for (int i = 1; i < 20; ++i) zeros += "\\000";
    return zeros;
}() + "'\n";

class FakeHelper {
public:
    explicit FakeHelper(const std::string& body) {
        path_ = std::filesystem::temp_directory_path() /
                ("tarvo-fake-helper-" + std::to_string(::getpid()) + "-" +
                 std::to_string(++count_) + ".sh");
        std::ofstream(path_) << "#!/bin/sh\n" << body;
        ::chmod(path_.c_str(), 0700);
    }
    ~FakeHelper() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    static inline int count_ = 0;
    std::filesystem::path path_;
};

}  // namespace

TEST(ReplyFrameTapTest, WithoutAWorkingHelperThereAreNoReadersAfterABoundedWait) {
    ReplyFrameTap missing("/nonexistent/tarvo-macwatch");
    EXPECT_EQ(missing.subscribe(2), 0u);
    ReplyFrameTap none("");
    EXPECT_EQ(none.subscribe(2), 0u);

    FakeHelper noCapability("exit 3\n");
    ReplyFrameTap ended(noCapability.path());
    EXPECT_EQ(ended.subscribe(2), 0u);
    EXPECT_EQ(ended.subscribe(2), 0u);  // remembered, not started again

    FakeHelper silent("exec sleep 30\n");
    ReplyFrameTap stalled(silent.path());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stalled.subscribe(2), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST(ReplyFrameTapTest, AHelperThatEndsWhileAskedDoesNotEndTheProgram) {
    // Ready, then its stdin goes (as when it fails), while its stdout stays open a while.
    FakeHelper leaving(kReady + "exec 0<&-\nsleep 2\n");
    ReplyFrameTap tap(leaving.path());
    const auto reader = tap.subscribe(2);
    ASSERT_NE(reader, 0u);
    int frames = 0;
    for (int i = 0; i < 3; ++i)
        tap.take(reader, [&](std::uint32_t, const MacAddress&) { ++frames; });
    EXPECT_EQ(frames, 0);
}
