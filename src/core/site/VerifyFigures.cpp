#include "core/site/VerifyFigures.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"

namespace tarvo::site {

namespace {

using Json = nlohmann::json;

std::optional<double> real(const Json& j, const char* key) {
    const auto at = j.find(key);
    if (at == j.end() || !at->is_number()) return std::nullopt;
    const double v = at->get<double>();
    if (!std::isfinite(v) || v < 0) return std::nullopt;
    return v;
}

std::optional<int> whole(const Json& j, const char* key) {
    const auto v = real(j, key);
    if (!v || *v > 1e9) return std::nullopt;
    return static_cast<int>(std::lround(*v));
}

// Two decimals are what the record keeps of a rate.
double rounded(double v) {
    return std::round(v * 100.0) / 100.0;
}

std::u16string said(std::u16string_view format, std::initializer_list<std::u16string> values) {
    return text::formatText(text::tr(format), values);
}

}  // namespace

std::string figureText(double value, int decimals) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, end) : std::string("-");
}

std::string VerifyFigures::json() const {
    // nlohmann writes numbers with '.' whatever LC_NUMERIC says (the window runs in the user's
    // locale).
    Json j = Json::object();
    if (connectMs) j["connectMs"] = *connectMs;
    if (loginMs) j["loginMs"] = *loginMs;
    if (firstKeyMs) j["firstKeyMs"] = *firstKeyMs;
    if (fps) j["fps"] = rounded(*fps);
    if (kbps) j["kbps"] = rounded(*kbps);
    if (width) j["width"] = *width;
    if (height) j["height"] = *height;
    if (seconds) j["seconds"] = rounded(*seconds);
    if (brightness) j["brightness"] = rounded(*brightness);
    if (contrast) j["contrast"] = rounded(*contrast);
    if (sharpness) j["sharpness"] = rounded(*sharpness);
    return j.dump();
}

VerifyFigures VerifyFigures::parse(std::string_view json) {
    VerifyFigures f;
    const Json j = Json::parse(json, nullptr, false);
    if (!j.is_object()) return f;
    f.connectMs = whole(j, "connectMs");
    f.loginMs = whole(j, "loginMs");
    f.firstKeyMs = whole(j, "firstKeyMs");
    f.fps = real(j, "fps");
    f.kbps = real(j, "kbps");
    f.width = whole(j, "width");
    f.height = whole(j, "height");
    f.seconds = real(j, "seconds");
    f.brightness = real(j, "brightness");
    f.contrast = real(j, "contrast");
    f.sharpness = real(j, "sharpness");
    return f;
}

std::vector<std::u16string> VerifyFigures::pictureTexts() const {
    std::vector<std::u16string> out;
    auto whole = [](double v) { return text::fromUtf8(figureText(v, 0)); };
    if (brightness) out.push_back(said(text::msg::kVerifyBrightnessFormat, {whole(*brightness)}));
    if (contrast) out.push_back(said(text::msg::kVerifyContrastFormat, {whole(*contrast)}));
    if (sharpness) out.push_back(said(text::msg::kVerifySharpnessFormat, {whole(*sharpness)}));
    return out;
}

std::u16string VerifyFigures::text() const {
    std::vector<std::u16string> parts;
    auto ms = [](int v) { return text::fromUtf8(std::to_string(v)); };
    auto fixed = [](double v, int decimals) { return text::fromUtf8(figureText(v, decimals)); };
    if (connectMs) parts.push_back(said(text::msg::kVerifyConnectMsFormat, {ms(*connectMs)}));
    if (loginMs) parts.push_back(said(text::msg::kVerifyLoginMsFormat, {ms(*loginMs)}));
    if (firstKeyMs) parts.push_back(said(text::msg::kVerifyFirstKeyMsFormat, {ms(*firstKeyMs)}));
    if (fps) parts.push_back(said(text::msg::kVerifyFpsFormat, {fixed(*fps, 1)}));
    if (kbps) parts.push_back(said(text::msg::kVerifyKbpsFormat, {fixed(*kbps, 0)}));
    if (width && height) parts.push_back(ms(*width) + u"×" + ms(*height));
    for (auto& picture : pictureTexts()) parts.push_back(std::move(picture));
    std::u16string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += text::tr(text::msg::kVerifySeparator);
        out += p;
    }
    return out;
}

}  // namespace tarvo::site
