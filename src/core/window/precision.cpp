// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/precision.h"

#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tolvenar {

namespace {

// `value` to three significant digits, as number text.
std::string three_digits(double value)
{
    if (!(std::fabs(value) > 0.0) || !std::isfinite(value))
        return number_text(value);
    const int decimals =
        std::clamp(2 - static_cast<int>(std::floor(std::log10(std::fabs(value)))), 0, 15);
    return number_text(round_half_even(value, decimals));
}

template <typename T>
std::size_t distinct(std::span<const T> values)
{
    std::vector<T> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    return static_cast<std::size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

std::optional<std::string> y_warning(std::span<const double> y, std::span<const float> held)
{
    if (y.size() < 2)
        return std::nullopt;
    const auto [lowest, highest] = std::minmax_element(y.begin(), y.end());
    const double spread = *highest - *lowest;
    const auto [held_lowest, held_highest] = std::minmax_element(held.begin(), held.end());
    const float magnitude = std::max(std::fabs(*held_lowest), std::fabs(*held_highest));
    const double step = static_cast<double>(
        std::nextafter(magnitude, std::numeric_limits<float>::infinity()) - magnitude);
    const double steps = spread / step;
    if (!(spread > 0.0) || steps >= kFewestYSteps)
        return std::nullopt;
    const std::size_t kept = distinct(held);
    if (kept >= distinct(y))
        return std::nullopt;
    return "y is stored in single precision with " + std::to_string(kept) +
           " distinct values for " + std::to_string(y.size()) + " points (its spread of " +
           three_digits(spread) + " is " + three_digits(steps) + " single steps at " +
           number_text(magnitude) + "): the search cannot resolve its changes";
}

std::optional<std::string> x_warning(std::span<const double> x, std::span<const float> held)
{
    std::vector<double> steps;
    for (std::size_t i = 1; i < x.size(); ++i)
        if (x[i] - x[i - 1] > 0.0)
            steps.push_back(x[i] - x[i - 1]);
    if (steps.empty())
        return std::nullopt;
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const double median = *middle;
    double worst = 0.0;
    std::size_t lost = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        const double written = x[i] - x[i - 1];
        if (!(written > 0.0))
            continue;
        const double kept = static_cast<double>(held[i]) - static_cast<double>(held[i - 1]);
        worst = std::max(worst, std::fabs(kept - written));
        lost += kept == 0.0;
    }
    if (worst <= median / 4)
        return std::nullopt;
    const std::string rounding =
        "steps of " + three_digits(median) + " rounded by up to " + three_digits(worst);
    if (lost == 0)
        return "x is stored in single precision with its " + rounding +
               ": the search sees them unevenly spaced";
    return "x is stored in single precision with " + std::to_string(lost) + " of " +
           std::to_string(x.size() - 1) + " steps lost (" + rounding +
           "): the search cannot place break points between them";
}

}  // namespace

std::optional<std::string> precision_warning(const HeldValues& values)
{
    const std::optional<std::string> y = y_warning(values.y, values.y_held);
    const std::optional<std::string> x = x_warning(values.x, values.x_held);
    if (y && x)
        return *y + "; " + *x;
    return y ? y : x;
}

std::optional<std::string> crop_precision_warning(const DataTable& table, std::int32_t crop_start,
                                                  std::int32_t count, double origin)
{
    const auto points = static_cast<std::size_t>(std::max(count, 0));
    std::vector<double> x(points), y(points);
    std::vector<float> x_held(points), y_held(points);
    for (std::size_t k = 0; k < points; ++k) {
        const std::int64_t row =
            static_cast<std::int64_t>(crop_start) + 1 + static_cast<std::int64_t>(k);
        x[k] = cell_number(table.x_cell(row));
        x_held[k] = to_single(x[k] - origin);
        y[k] = cell_number(table.y_cell(row));
        y_held[k] = cell_single(table.y_cell(row));
    }
    return precision_warning({x, x_held, y, y_held});
}

}  // namespace tolvenar
