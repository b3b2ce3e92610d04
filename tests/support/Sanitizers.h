#pragma once

// Whether this build runs under AddressSanitizer or ThreadSanitizer. Those keep freed memory in
// quarantine and shadow, so resident memory says little about growth there.
namespace tarvo::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

}  // namespace tarvo::test
