#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::site {

// What a verification measured of one device, as it is measured and as its record keeps it; a
// figure not measured is absent.
struct VerifyFigures {
    std::optional<int> connectMs, loginMs, firstKeyMs;
    std::optional<double> fps, kbps;
    std::optional<int> width, height;
    std::optional<double> seconds;  // the time the rates were measured over
    // The last picture's luma figures (full-range levels): mean, standard deviation, variance
    // of the Laplacian on the check plane.
    std::optional<double> brightness, contrast, sharpness;

    // {"connectMs":..., "fps":..., ...} with the figures that were measured, the same in every
    // locale.
    [[nodiscard]] std::string json() const;
    // The figures of a record. Keys it does not know, values that are not finite non-negative
    // numbers, and a record that is no JSON object, are left out.
    static VerifyFigures parse(std::string_view json);
    // The figures in words on one line, in the language shown.
    [[nodiscard]] std::u16string text() const;
    // The last picture's brightness, contrast and sharpness in words, each on its own, in the
    // language shown; those not measured are left out.
    [[nodiscard]] std::vector<std::u16string> pictureTexts() const;

    bool operator==(const VerifyFigures&) const = default;
};

// A figure with `decimals` decimals, the same in every locale.
std::string figureText(double value, int decimals);

}  // namespace tarvo::site
