#include <cstdio>
#include <string_view>

#include "TarvoVersion.h"
#include "app/CTarvoApp.h"
#include "core/net/Capabilities.h"

namespace {

constexpr const char* kHelp =
    "Usage: tarvo [Qt options]\n"
    "Finds IP cameras, NVRs, DVRs and video decoders on the local networks and works on them.\n"
    "The window searches on every local network as soon as it opens.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Qt's own options (e.g. -platform offscreen) are taken as well.\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Before Qt, which loads plugins from folders the user may name: a process run by root
    // holds no capability from here on. The reply frames come from the helper tarvo-macwatch.
    if (!tarvo::net::startWithoutCapabilities()) {
        std::fputs("tarvo: could not give up its capabilities; not starting\n", stderr);
        return 1;
    }
    // Answered before the application exists, so no window opens and nothing is sent.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("tarvo %s\n", tarvo::kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    tarvo::gui::CTarvoApp app(argc, argv);
    return app.initInstance();
}
