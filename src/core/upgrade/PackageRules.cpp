#include "core/upgrade/PackageRules.h"

#include <array>

#include "core/protocol/Frames.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"

namespace tarvo::upgrade {

namespace {

std::u16string_view cut(std::u16string_view text, std::size_t from, std::size_t count) {
    if (from >= text.size()) return {};
    return text.substr(from, count);
}

// The 11 characters NN.NN.NN.NN at `from`, or empty when the text has no such version there.
std::u16string_view versionAt(std::u16string_view text, std::size_t from) {
    const std::u16string_view version = cut(text, from, 11);
    if (version.size() != 11) return {};
    for (std::size_t i = 0; i < version.size(); ++i) {
        const bool dot = i % 3 == 2;
        const char16_t c = version[i];
        if (dot ? c != u'.' : (c < u'0' || c > u'9')) return {};
    }
    return version;
}

}  // namespace

std::string_view fileNameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return path.substr(slash + 1);
}

bool fitsUploadNameField(std::u16string_view fileName) {
    std::array<char, protocol::kUploadNameBytes> field{};
    return text::narrowText(fileName, field) == 1;
}

bool IsNewerPackage(std::u16string_view currentVersion, std::u16string_view fileName) {
    if (currentVersion.empty()) return true;
    return cut(currentVersion, 1, 11) < cut(fileName, 11, 11);
}

bool isCameraPackage(std::u16string_view currentVersion, std::u16string_view fileName) {
    const std::u16string_view package = versionAt(fileName, 11);
    if (package.empty()) return false;
    const std::u16string_view camera =
        currentVersion.starts_with(u'v') ? versionAt(currentVersion, 1) : std::u16string_view{};
    return camera.empty() || camera.substr(9) == package.substr(9);
}

std::uint64_t pieceCount(std::uint64_t size) {
    return (size + kPieceSize - 1) / kPieceSize;
}

int progressUpper(std::uint32_t size) {
    return static_cast<int>(size / kPieceSize);
}

std::optional<NvrPart> nvrPartOf(std::u16string_view fileName) {
    using namespace text::msg;
    static constexpr std::array<NvrPart, 4> kParts{{
        {u"uboot", kNvrPartUboot},
        {u"env", kNvrPartEnvironment},
        {u"rootfs", kNvrPartRootfs},
        {u"kernel", kNvrPartKernel},
    }};
    for (const NvrPart& part : kParts) {
        if (fileName.starts_with(part.prefix)) return part;
    }
    return std::nullopt;
}

std::optional<NvrPart> nvrPartOfPath(std::string_view path) {
    return nvrPartOf(text::fromUtf8(fileNameOf(path)));
}

}  // namespace tarvo::upgrade
