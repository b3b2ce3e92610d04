#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "support/Sandbox.h"

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer and the distribution's Qt: Qt is not built with the sanitizer, so its mutexes,
// atomics and thread pool are invisible to it, and the memory calls Qt makes inside itself (new,
// delete, copies of its own buffers) look unsynchronised. Those are ignored; every access made
// by this program's own code is still checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           // The same holds for libavcodec's frame threads handing over decoded pictures.
           "called_from_lib:libavcodec.so\n"
           "called_from_lib:libavutil.so\n";
}
#endif

namespace {

// Each test starts with nothing remembered by the window.
class ForgetRememberedChoices final : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { QSettings().clear(); }
};

}  // namespace

// Window tests open sockets (the program searches on start), so they run only inside a private
// network namespace, and off-screen unless told otherwise.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (!listing) tarvo::test::requireSandboxOrExit();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The build tree's MAC helper: the window's searches start it.
    ::setenv("TARVO_MACWATCH", TARVO_MACWATCH_PATH, 0);
    // What the window remembers goes to a folder of this run, never to the user's settings.
    const QTemporaryDir config;
    if (!config.isValid()) return 1;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    // Off-screen, the windows open on a laptop's screen (Qt's own default is 800×600).
    if (const char* platform = std::getenv("QT_QPA_PLATFORM");
        platform != nullptr && std::strcmp(platform, "offscreen") == 0) {
        const QString screen = config.filePath(QStringLiteral("screen.json"));
        std::ofstream(screen.toStdString())
            << R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,)"
               R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
        ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen.toStdString()).c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests start a fresh copy of this program: a forked Qt would inherit its threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetRememberedChoices);
    return RUN_ALL_TESTS();
}
