#include "core/upgrade/PackageDigest.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace tarvo::upgrade {

std::optional<std::string> packageSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::unique_ptr<AVSHA, void (*)(void*)> sha(av_sha_alloc(), av_free);
    if (!sha || av_sha_init(sha.get(), 256) < 0) return std::nullopt;
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = in.gcount();
        if (got > 0) {
            av_sha_update(sha.get(), reinterpret_cast<const std::uint8_t*>(buffer.data()),
                          static_cast<unsigned>(got));
        }
    }
    if (!in.eof()) return std::nullopt;  // a read error, not the end of the file
    std::array<std::uint8_t, 32> digest{};
    av_sha_final(sha.get(), digest.data());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const auto byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace tarvo::upgrade
