#pragma once

#include <string_view>

namespace tarvo::ops {

// The login dialog's port rules.
inline constexpr int kLoginPortMin = 5000;
inline constexpr int kLoginPortMax = 6000;

struct LoginPortCheck {
    int port = 0;        // what the field reads as, kept even when it is out of range
    bool valid = false;  // within kLoginPortMin..kLoginPortMax inclusive
};

// Reads the port field: narrowed into an 11-byte buffer (a text that does not fit reads as
// empty) and taken as a decimal integer the way atoi does (leading blanks, a sign, digits; 0 when
// there are none). An empty field is never valid.
LoginPortCheck checkLoginPort(std::u16string_view fieldText);

}  // namespace tarvo::ops
