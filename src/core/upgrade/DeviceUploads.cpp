#include "core/upgrade/DeviceUploads.h"

#include <arpa/inet.h>

#include <mutex>
#include <set>

namespace tarvo::upgrade {

namespace {

std::mutex g_mutex;
std::set<std::string, std::less<>> g_receiving;  // guarded by g_mutex

}  // namespace

std::string DeviceUploads::keyOf(std::string_view address) {
    std::string text(address);
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) == 1) {
        char canonical[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &parsed, canonical, sizeof canonical) != nullptr) return canonical;
    }
    return text;
}

bool DeviceUploads::claim(std::string_view address) {
    std::string key = keyOf(address);
    std::lock_guard guard(g_mutex);
    return g_receiving.insert(std::move(key)).second;
}

void DeviceUploads::release(std::string_view address) {
    const std::string key = keyOf(address);
    std::lock_guard guard(g_mutex);
    g_receiving.erase(key);
}

bool DeviceUploads::receiving(std::string_view address) {
    const std::string key = keyOf(address);
    std::lock_guard guard(g_mutex);
    return g_receiving.contains(key);
}

}  // namespace tarvo::upgrade
