#pragma once

#include <string_view>

namespace tarvo::discovery {

inline constexpr int kTypeDvr = 31;
inline constexpr int kTypeNvr = 181;
inline constexpr int kTypeDecoderNoPreview = 171;
inline constexpr int kTypeSelectableResolution = 89;

// A discovery reply is listed only for a DVR (31) or a type within 80..198.
bool isListedType(int type);
bool isDecoderType(int type);  // 171..179
// The note column's label for a listed type.
std::u16string_view typeLabel(int type);
// The label of a type-89 camera after its resolution reply: non-zero means one megapixel only.
std::u16string_view resolutionLabel(unsigned value);

}  // namespace tarvo::discovery
