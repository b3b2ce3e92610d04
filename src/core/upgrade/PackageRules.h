#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo::upgrade {

// Firmware is streamed in pieces of this size, one send and one progress step each, with a
// short pause after every piece so that the device's flash writer keeps up.
inline constexpr std::uint32_t kPieceSize = 32768;
inline constexpr int kPiecePauseMs = 5;
// The size travels in 32 bits and devices count it as a signed number.
inline constexpr std::uint64_t kLargestPackage = 0x7FFFFFFFull;

// The file name after the last path separator; empty when the path has none or ends in one.
std::string_view fileNameOf(std::string_view path);

// Whether the name fits upload frame A's name field with its terminator, in the device's
// encoding. One that does not would go out as an empty name.
bool fitsUploadNameField(std::u16string_view fileName);

// Camera packages carry their version at character 11 of the file name, e.g.
// "IPC_update_00.00.03.08.img". A package goes ahead when the camera reported no version, or
// when the version without its leading "v" (11 characters from index 1) sorts below the 11
// characters of the name from index 11, by code unit. Cut-short texts compare as they are.
bool IsNewerPackage(std::u16string_view currentVersion, std::u16string_view fileName);

// A camera package carries a version of the form NN.NN.NN.NN (digits) at character 11 of its
// name, and its last two digits, the camera type, are those of the camera's version: a package
// of another type leaves the camera unusable. The type is compared when the camera reported a
// version of the form vNN.NN.NN.NN; the name's form is always required.
bool isCameraPackage(std::u16string_view currentVersion, std::u16string_view fileName);

// Pieces on the wire for a file of `size` bytes (the last one may be short).
std::uint64_t pieceCount(std::uint64_t size);
// Upper bound of the progress range: size / 32768, truncated. The position counts pieces, so it
// ends one above this bound when the size is not a multiple of the piece size.
int progressUpper(std::uint32_t size);

// The NVR part a file stands for, told by a case-sensitive prefix of its name.
struct NvrPart {
    std::u16string_view prefix;
    std::u16string_view text;  // what the dialog shows for the choice
};
std::optional<NvrPart> nvrPartOf(std::u16string_view fileName);
// The same for the file at `path` (UTF-8), by the name after its last separator.
std::optional<NvrPart> nvrPartOfPath(std::string_view path);

}  // namespace tarvo::upgrade
