// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/null_fit.h"

#include <stdexcept>

namespace tolvenar::compare {

bool is_event_model(std::string_view name)
{
    return name != "constant" && name != "line";
}

NullFit fit_null(std::string_view name, std::span<const double> x, std::span<const double> y,
                 std::span<const double> sigma)
{
    if (is_event_model(name))
        throw std::invalid_argument("a model without an event is a constant or a line");
    if (x.size() != y.size() || (!sigma.empty() && sigma.size() != y.size()))
        throw std::invalid_argument("x, y and sigma: one each per point");
    const bool line = name == "line";
    NullFit fit{std::string(name), line ? 2u : 1u, 0.0, 0.0, 0.0, {}};
    const auto weight = [&](std::size_t i) { return sigma.empty() ? 1.0 : 1.0 / (sigma[i] * sigma[i]); };
    // Centred sums, two passes, so that x far from 0 (Julian days) costs no precision.
    double w = 0.0, wx = 0.0, wy = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        w += weight(i);
        wx += weight(i) * x[i];
        wy += weight(i) * y[i];
    }
    if (w > 0.0) {
        fit.x0 = wx / w;
        fit.level = wy / w;
    }
    if (line) {
        double sxx = 0.0, sxy = 0.0;
        for (std::size_t i = 0; i < y.size(); ++i) {
            sxx += weight(i) * (x[i] - fit.x0) * (x[i] - fit.x0);
            sxy += weight(i) * (x[i] - fit.x0) * (y[i] - fit.level);
        }
        fit.slope = sxx > 0.0 ? sxy / sxx : 0.0;
    }
    fit.residuals.resize(y.size());
    for (std::size_t i = 0; i < y.size(); ++i)
        fit.residuals[i] = y[i] - fit.at(x[i]);
    return fit;
}

}  // namespace tolvenar::compare
