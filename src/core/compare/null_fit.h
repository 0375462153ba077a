// SPDX-License-Identifier: GPL-3.0-or-later
// The two models without an event, the constant and the straight line, fitted in closed form by
// least squares (weighted by 1 / sigma_i^2 when sigma is given).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::compare {

struct NullFit {
    std::string name;              // "constant" or "line"
    std::size_t free_values = 1;   // 1 or 2
    double x0 = 0.0;               // the curve is level + slope (x - x0); x0 the (weighted) mean x
    double level = 0.0;
    double slope = 0.0;            // 0 for the constant, and for a line on a single x
    std::vector<double> residuals; // y - curve

    double at(double x) const { return level + slope * (x - x0); }
};

// The null model `name` ("constant" or "line", else std::invalid_argument) fitted to (x, y);
// sizes equal, sigma empty or one positive value per point.
NullFit fit_null(std::string_view name, std::span<const double> x, std::span<const double> y,
                 std::span<const double> sigma = {});

// Whether `name` is one of the event families, not the constant or the line.
bool is_event_model(std::string_view name);

}  // namespace tolvenar::compare
