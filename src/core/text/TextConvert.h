#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tarvo::text {

// The 8-bit encoding devices use for names, versions and credentials. A superset of ASCII
// and GBK, so every Chinese text round-trips.
inline constexpr const char* kDeviceEncoding = "GB18030";

// UTF-16 -> device encoding. Writes the converted text and its NUL terminator into `dest` and
// returns 1; returns 0 and leaves `dest` untouched when they do not fit (capacity in bytes,
// terminator included) or the text cannot be converted.
int narrowText(std::u16string_view text, std::span<char> dest);

// Device encoding -> UTF-16, read up to the first NUL or the end of `text`. Same rule, capacity
// in UTF-16 units, terminator included. Bytes that are not valid in the encoding read as U+FFFD.
int widenText(std::string_view text, std::span<char16_t> dest);

// Whole-string forms for callers without a fixed field. nullopt-free: failures give "".
std::string narrowString(std::u16string_view text);
std::u16string widenString(std::string_view text);

// The text up to the first NUL of a field.
std::u16string_view fieldText(std::span<const char16_t> field);
std::string_view fieldText(std::span<const char> field);

// UTF-8 <-> UTF-16 for the console and JSON.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

}  // namespace tarvo::text
