// Writes the seed inputs of the decoder, stream assembler and site file targets:
//   fuzz-make-seeds <corpus dir>   (writes <dir>/decoder/*, <dir>/stream_assembler/* and
//                                   <dir>/site_file/*)
// The pictures are the simulator's test pattern, encoded with its own encoder code, so the
// seeds can be made again at any time and stay small (a few frames at 64 × 48 and 176 × 144).
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "core/site/SiteFile.h"
#include "sim/VideoClip.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool save(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    return true;
}

std::vector<Bytes> encode(const std::string& codec, int width, int height) {
    // Six frames: two GOPs of three, at a low rate.
    tarvo::sim::VideoClip clip(tarvo::sim::VideoFormat{codec, width, height, 3, 100, 3, {}, 0});
    const std::atomic<bool> stop{false};
    clip.encode(stop);
    std::vector<Bytes> frames;
    if (clip.failed()) {
        std::fprintf(stderr, "%s %dx%d: %s\n", codec.c_str(), width, height, clip.error().c_str());
        return frames;
    }
    for (int i = 0; i < clip.available(); ++i) frames.push_back(clip.frame(i).data);
    return frames;
}

// Decoder input: codec, Init size, then length-prefixed chunks.
Bytes decoderInput(bool hevc, int initWidth, int initHeight, const std::vector<Bytes>& chunks) {
    Bytes out{static_cast<std::uint8_t>(hevc ? 1 : 0)};
    put16(out, static_cast<unsigned>(initWidth));
    put16(out, static_cast<unsigned>(initHeight));
    for (const Bytes& chunk : chunks) {
        put16(out, static_cast<unsigned>(chunk.size()));
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

// The frames joined and cut every `step` bytes, as a camera that splits pictures would send.
std::vector<Bytes> recut(const std::vector<Bytes>& frames, std::size_t step) {
    Bytes all;
    for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
    std::vector<Bytes> chunks;
    for (std::size_t at = 0; at < all.size(); at += step)
        chunks.emplace_back(all.begin() + static_cast<long>(at),
                            all.begin() + static_cast<long>(std::min(all.size(), at + step)));
    return chunks;
}

void appendPacket(Bytes& stream, std::uint8_t type, const Bytes& payload, std::uint32_t number) {
    std::uint8_t header[18] = {};
    header[0] = type;
    put32(header + 6, static_cast<std::uint32_t>(payload.size()));
    put32(header + 10, number);
    stream.insert(stream.end(), header, header + 18);
    stream.insert(stream.end(), payload.begin(), payload.end());
}

// Stream assembler input: read sizes, then the stream.
Bytes assemblerInput(const Bytes& splits, const Bytes& stream) {
    Bytes out{static_cast<std::uint8_t>(splits.size())};
    out.insert(out.end(), splits.begin(), splits.end());
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

Bytes bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool run(const std::filesystem::path& path, const char* sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) std::fprintf(stderr, "%s: %s\n", path.c_str(), sqlite3_errmsg(db));
    sqlite3_close(db);
    return ok;
}

// A site with something of everything (plan, searches, a device without MAC, actions of each
// kind with figures and a snapshot), in 512-byte pages so that the seed stays a few kilobytes.
bool siteSeeds(const std::filesystem::path& dir) {
    namespace site = tarvo::site;
    const auto work = dir / "work.tarvo-site";
    std::filesystem::remove(work);
    {
        const auto s = site::SiteFile::open(work.string());
        s->setName("Hall");
        s->replacePlan({{2, "AA:00:00:00:00:01", "10.0.0.21", "255.255.255.0", "10.0.0.1", "",
                         "Gate", "North", ""},
                        {3, "AA:00:00:00:00:02", "10.0.0.22", "", "", "", "Yard", "", "note"}});
        tarvo::discovery::DeviceRow a, b;
        a.address = u"10.0.0.21";
        a.mac = u"AA:00:00:00:00:01";
        a.type = 100;
        b.address = u"10.0.0.30";
        b.type = 200;
        s->recordSearch({a, b}, 100, {{"AA:00:00:00:00:01", "V5.1"}});
        site::ActionRecord action;
        action.mac = "AA:00:00:00:00:01";
        action.address = "10.0.0.21";
        action.kind = "verify";
        action.started = 110;
        action.snapshot = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x10, 0xFF, 0xD9};
        const auto id = s->beginAction(action);
        s->finishAction(id, "ok", "", 120, R"({"connectMs":3,"fps":25,"width":640})");
        action.kind = "upgrade";
        action.snapshot.clear();
        action.packageName = "fw.bin";
        s->beginAction(action);
    }
    bool ok = run(work, "PRAGMA journal_mode = DELETE; PRAGMA page_size = 512; VACUUM;");
    ok &= save(dir / "site", bytesOf(work));
    ok &= run(work, "PRAGMA journal_mode = WAL;");
    ok &= save(dir / "site-wal", bytesOf(work));
    ok &= run(work,
              "PRAGMA journal_mode = DELETE; CREATE TRIGGER t AFTER INSERT ON searches BEGIN "
              "DELETE FROM plan; END;");
    ok &= save(dir / "site-with-trigger", bytesOf(work));
    std::filesystem::remove(work);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const auto decoderDir = root / "decoder";
    const auto assemblerDir = root / "stream_assembler";
    std::filesystem::create_directories(decoderDir);
    std::filesystem::create_directories(assemblerDir);
    bool ok = true;

    std::vector<Bytes> small264;
    for (const std::string codec : {"h264", "h265"}) {
        const bool hevc = codec == "h265";
        for (const auto& [w, h] : {std::pair{64, 48}, std::pair{176, 144}}) {
            const std::vector<Bytes> frames = encode(codec, w, h);
            if (frames.empty()) return 1;
            if (!hevc && w == 64) small264 = frames;
            const std::string stem = codec + "-" + std::to_string(w) + "x" + std::to_string(h);
            // One picture per chunk at the stream's own size, then at other sizes: larger,
            // smaller, and odd.
            ok &= save(decoderDir / (stem + "-whole"), decoderInput(hevc, w, h, frames));
            ok &= save(decoderDir / (stem + "-init-larger"),
                       decoderInput(hevc, w * 2, h + 16, frames));
            ok &= save(decoderDir / (stem + "-init-smaller"),
                       decoderInput(hevc, w / 2 + 1, h / 2 - 1, frames));
            ok &= save(decoderDir / (stem + "-cut-300"),
                       decoderInput(hevc, w + 7, h - 5, recut(frames, 300)));
        }
    }

    // Video pictures with a type-1 packet after every second one, an empty packet and a type
    // the program does not know.
    Bytes stream;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < small264.size() && i < 4; ++i) {
        appendPacket(stream, 0x00, small264[i], number++);
        if (i % 2 == 1) appendPacket(stream, 0x07, Bytes(64, 0), number++);
    }
    appendPacket(stream, 0x01, {}, number++);
    appendPacket(stream, 0x0C, Bytes(5, 0xAB), number++);
    ok &= save(assemblerDir / "pictures-full-reads", assemblerInput({}, stream));
    ok &= save(assemblerDir / "pictures-small-reads", assemblerInput({1, 9, 40, 17, 0}, stream));
    ok &= save(assemblerDir / "pictures-mixed-reads", assemblerInput({200, 3, 255, 60}, stream));
    // A header whose length cannot fit a slot, after two good packets.
    Bytes bad;
    appendPacket(bad, 0x00, Bytes(30, 0x11), 0);
    appendPacket(bad, 0x01, Bytes(3, 0x22), 1);
    std::uint8_t header[18] = {};
    put32(header + 6, 0x300000);
    bad.insert(bad.end(), header, header + 18);
    bad.insert(bad.end(), 40, 0x33);
    ok &= save(assemblerDir / "oversize-length", assemblerInput({5, 30}, bad));

    const auto siteDir = root / "site_file";
    std::filesystem::create_directories(siteDir);
    ok &= siteSeeds(siteDir);
    return ok ? 0 : 1;
}
