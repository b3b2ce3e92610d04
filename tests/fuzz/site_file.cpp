// Site files as they come from outside (mailed, handed back, on a stick): the input is the
// file's bytes. Each is opened the two ways the commands open a site, checked, and read as
// `site status` (a search recorded, the states) and `site report` (the HTML with its thumbnails)
// read it. A file may be refused (SiteError); nothing else may happen: no crash, no hang, no
// unbounded memory.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/site/SiteFile.h"
#include "core/site/SiteReport.h"
#include "core/site/SiteStatus.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

using tarvo::site::SiteFile;

// One folder for the run, removed at its end.
class Folder {
public:
    Folder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-fuzz-site-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~Folder() { std::filesystem::remove_all(path_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
};

void readAll(const SiteFile& site) {
    const auto plan = site.plan();
    const auto known = site.knownDevices();
    (void)tarvo::site::siteStatus(plan, known, {});
    (void)site.name();
    (void)site.createdAt();
    const tarvo::site::SiteReport report(site, 0);
    std::ostringstream html;
    report.writeHtml(html);
}

void removeSideFiles(const std::string& path) {
    for (const char* suffix : {"-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    av_log_set_level(AV_LOG_QUIET);  // damaged snapshots are the point here
    static const Folder folder;
    const std::string path = folder.path() + "/fuzz.tarvo-site";
    removeSideFiles(path);
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        const auto site = SiteFile::openReadOnly(path);
        readAll(*site);
    } catch (const tarvo::site::SiteError&) {
    }
    try {
        const auto site = SiteFile::open(path, false);
        tarvo::discovery::DeviceRow heard;
        heard.address = u"10.0.0.21";
        heard.mac = u"AA:00:00:00:00:01";
        heard.type = 100;
        site->recordSearch({heard}, 1);
        readAll(*site);
    } catch (const tarvo::site::SiteError&) {
    }
    removeSideFiles(path);
    return 0;
}
