#include "sim/Sha256.h"

#include <array>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace tarvo::sim {

void Sha256::Free::operator()(AVSHA* context) const {
    av_free(context);
}

Sha256::Sha256() : context_(av_sha_alloc()) {
    if (!context_ || av_sha_init(context_.get(), 256) != 0) throw std::bad_alloc();
}

void Sha256::update(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) av_sha_update(context_.get(), bytes.data(), bytes.size());
}

std::string Sha256::hex() const {
    // Finalising consumes the state: finish a copy.
    std::unique_ptr<AVSHA, Free> copy(av_sha_alloc());
    if (!copy) throw std::bad_alloc();
    std::memcpy(static_cast<void*>(copy.get()), context_.get(),
                static_cast<std::size_t>(av_sha_size));
    std::array<std::uint8_t, 32> digest{};
    av_sha_final(copy.get(), digest.data());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t byte : digest) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

}  // namespace tarvo::sim
