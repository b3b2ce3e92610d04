#include "core/text/TextConvert.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tarvo::text {

namespace {

// One converter per direction and thread; iconv_open is far too slow to run per reply.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) ::iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // iconv_open reports failure as (iconv_t)-1.
    [[nodiscard]] bool valid() const {
        return handle_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    }

    // Converts all of `in` and appends to `out`. With `lenient`, an invalid input unit of
    // `unit` bytes becomes `replacement` instead of failing the conversion.
    bool run(const char* in, std::size_t inSize, std::vector<char>& out, bool lenient,
             std::size_t unit, std::string_view replacement) {
        if (!valid()) return false;
        ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        std::size_t srcLeft = inSize;
        std::array<char, 256> chunk{};
        while (srcLeft > 0) {
            char* dst = chunk.data();
            std::size_t dstLeft = chunk.size();
            const std::size_t rc = ::iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
            out.insert(out.end(), chunk.data(), dst);
            if (rc != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (!lenient) return false;
            // EILSEQ or EINVAL (truncated sequence at the end): replace one unit and go on.
            out.insert(out.end(), replacement.begin(), replacement.end());
            const std::size_t skip = std::min(unit, srcLeft);
            src += skip;
            srcLeft -= skip;
            ::iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = chunk.data();
        std::size_t dstLeft = chunk.size();
        ::iconv(handle_, nullptr, nullptr, &dst, &dstLeft);
        out.insert(out.end(), chunk.data(), dst);
        return true;
    }

private:
    iconv_t handle_;
};

Converter& toDevice() {
    thread_local Converter converter(kDeviceEncoding, "UTF-16LE");
    return converter;
}
Converter& fromDevice() {
    thread_local Converter converter("UTF-16LE", kDeviceEncoding);
    return converter;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<char> toLittleEndianBytes(std::u16string_view text) {
    std::vector<char> bytes(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}

bool narrowInto(std::u16string_view text, std::vector<char>& out) {
    const auto bytes = toLittleEndianBytes(text);
    return toDevice().run(bytes.data(), bytes.size(), out, false, 2, {});
}

std::u16string widenAll(std::string_view text) {
    std::u16string result;
    if (isAscii(text)) {
        result.assign(text.begin(), text.end());
        return result;
    }
    std::vector<char> out;
    static constexpr char kReplacement[] = {'\xFD', '\xFF'};  // U+FFFD, little-endian
    fromDevice().run(text.data(), text.size(), out, true, 1,
                     std::string_view(kReplacement, sizeof kReplacement));
    result.resize(out.size() / 2);
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                          (static_cast<unsigned char>(out[2 * i + 1]) << 8));
    }
    return result;
}

std::string_view upToNul(std::string_view text) {
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

int narrowText(std::u16string_view text, std::span<char> dest) {
    std::vector<char> out;
    if (!narrowInto(text, out)) return 0;
    if (out.size() + 1 > dest.size()) return 0;
    std::copy(out.begin(), out.end(), dest.begin());
    dest[out.size()] = '\0';
    return 1;
}

int widenText(std::string_view text, std::span<char16_t> dest) {
    const std::u16string wide = widenAll(upToNul(text));
    if (wide.size() + 1 > dest.size()) return 0;
    std::copy(wide.begin(), wide.end(), dest.begin());
    dest[wide.size()] = u'\0';
    return 1;
}

std::string narrowString(std::u16string_view text) {
    std::vector<char> out;
    if (!narrowInto(text, out)) return {};
    return std::string(out.begin(), out.end());
}

std::u16string widenString(std::string_view text) {
    return widenAll(upToNul(text));
}

std::u16string_view fieldText(std::span<const char16_t> field) {
    const std::u16string_view all(field.data(), field.size());
    const auto nul = all.find(u'\0');
    return nul == std::u16string_view::npos ? all : all.substr(0, nul);
}

std::string_view fieldText(std::span<const char> field) {
    return upToNul(std::string_view(field.data(), field.size()));
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        const unsigned char lead = byte(i);
        std::uint32_t cp = 0xFFFD;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        }
        bool ok = lead < 0x80 || extra > 0;
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

}  // namespace tarvo::text
