// The MAC helper, tarvo-macwatch: started only by what searches, it takes no option, passes on
// what it read and ends with its parent's pipe.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/net/ReplyFrame.h"
#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

// A stand-in helper that notes each start in `marker` and, like a helper without its
// capability, ends at once.
std::string noteTakingHelper(const std::string& marker) {
    const std::string path = std::string(std::getenv("TARVO_SANDBOX_DIR")) + "/note-helper.sh";
    std::ofstream(path) << "#!/bin/sh\necho started >> '" << marker << "'\nexit 3\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

}  // namespace

TEST(MacHelperE2E, OnlyCommandsThatSearchStartTheHelper) {
    const std::string dir = std::getenv("TARVO_SANDBOX_DIR");
    const std::string marker = dir + "/helper-started";
    const std::vector<std::string> env{"TARVO_MACWATCH=" + noteTakingHelper(marker)};
    const std::string site = dir + "/helper.tarvo-site";
    const std::string plan = dir + "/helper-plan.csv";
    std::ofstream(plan) << "MAC,IP\n02:00:0a:fa:00:0b,10.250.0.41\n";
    for (const auto& argv : std::vector<std::vector<std::string>>{
             {TARVO_CLI_PATH, "--version"},
             {TARVO_CLI_PATH, "site", "--site", site, "plan", "import", plan},
             {TARVO_CLI_PATH, "site", "--site", site, "plan", "show"},
             {TARVO_CLI_PATH, "site", "--site", site, "report", "--out", dir + "/report.html"}}) {
        const auto r = test::runProcess(argv, 30s, env);
        EXPECT_EQ(r.exitCode, 0) << argv.back() << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(marker)) << argv.back();
    }
    // A search on the sandbox's Ethernet bridge starts it; without it the search goes on.
    const auto r =
        test::runProcess({TARVO_CLI_PATH, "discover", "--seconds", "0.5", "--json"}, 30s, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST(MacHelperE2E, TheHelperTakesNoOptionAndEndsWithItsStdin) {
    for (const std::string option : {"--iface", "--filter=udp", "eth0"}) {
        const auto r = test::runProcess({TARVO_MACWATCH_PATH, option}, 10s);
        EXPECT_EQ(r.exitCode, 2) << option;
        EXPECT_TRUE(r.out.empty());  // it said nothing on the pipe: no socket was opened
    }
    // Root in the sandbox: the socket opens, the helper says so and ends when stdin does.
    const auto r =
        test::runProcess({"sh", "-c", "exec \"$0\" </dev/null", TARVO_MACWATCH_PATH}, 10s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.out.size(), net::kReplyRecordSize);
    net::ReplyRecord record{};
    std::copy(r.out.begin(), r.out.end(), record.begin());
    EXPECT_TRUE(net::isReadyRecord(record));
    // Without CAP_NET_RAW it opens nothing, says nothing, and the programs read the neighbour
    // table.
    const auto without =
        test::runProcess({"setpriv", "--inh-caps=-all", "--bounding-set=-net_raw", "sh", "-c",
                          "exec \"$0\" </dev/null", TARVO_MACWATCH_PATH},
                         10s);
    EXPECT_EQ(without.exitCode, 3);
    EXPECT_TRUE(without.out.empty());
}

TEST(MacHelperE2E, TheProgramFindsTheHelperWhereThePackageInstallsIt) {
    // The installed layout: bin/tarvo-cli and lib/tarvo/tarvo-macwatch, nothing set.
    namespace fs = std::filesystem;
    const fs::path prefix = fs::path(std::getenv("TARVO_SANDBOX_DIR")) / "usr";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "lib/tarvo");
    fs::copy_file(TARVO_CLI_PATH, prefix / "bin/tarvo-cli");
    fs::copy_file(TARVO_MACWATCH_PATH, prefix / "lib/tarvo/tarvo-macwatch");
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.1.108/24", "dev", "eth0"}), 0);
    test::SimOptions options;
    options.host = 1;
    test::SimProcess sim(
        nlohmann::json::parse(R"({"devices": [{"ip": "10.251.1.108", "type": 100}]})"), options);
    auto macOf = [&](const fs::path& cli) {
        const auto r = test::runProcess({cli.string(), "discover", "--seconds", "1", "--json"}, 30s,
                                        {"TARVO_MACWATCH="});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        for (const auto& row : nlohmann::json::parse(r.out))
            if (row["ip"] == "10.251.1.108") return row["mac"].get<std::string>();
        return std::string("(not listed)");
    };
    // Outside the computer's subnets only the frame knows the MAC.
    EXPECT_EQ(macOf(prefix / "bin/tarvo-cli"), "02:00:0A:FA:00:0B");
    fs::remove(prefix / "lib/tarvo/tarvo-macwatch");
    EXPECT_EQ(macOf(prefix / "bin/tarvo-cli"), "");
}
