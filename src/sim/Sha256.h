#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

struct AVSHA;

namespace tarvo::sim {

// Incremental SHA-256 (libavutil's), for the digest of firmware as it arrives.
class Sha256 {
public:
    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    // Lower-case hex of the digest of everything so far; the hash keeps going afterwards.
    [[nodiscard]] std::string hex() const;

private:
    struct Free {
        void operator()(AVSHA* context) const;
    };
    std::unique_ptr<AVSHA, Free> context_;
};

}  // namespace tarvo::sim
