// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/refine_output.h"

#include "cli/json_text.h"
#include "core/runtime/numbers.h"
#include "core/search/report.h"

#include <cmath>

namespace tolvenar::cli {

namespace {

// The report's own writes over the refined model: same captions, same decimals.
ResultLabels refined_labels(const EngineState& state, ModelFamily family,
                            const refine::RefinedFit& fit)
{
    EngineState shown;
    shown.CropOrigin = state.CropOrigin;
    shown.NodeCount = state.NodeCount;
    shown.BestOfBestX = fit.model.x;
    shown.BestOfBestY = fit.model.y;
    shown.BestOfBestR = fit.r;
    ResultLabels labels;
    labels.apply(reset_label_writes(family == ModelFamily::SimpleRamp));
    labels.apply(result_report(shown, family).writes);
    return labels;
}

std::string percent_text(double level)
{
    return number_text(std::round(level * 1e6) / 1e4);
}

std::string measure_name(ModelFamily family)
{
    return family == ModelFamily::SimpleRamp ? "Duration of change" : "Symmetry index";
}

std::string measure_key(ModelFamily family)
{
    return family == ModelFamily::SimpleRamp ? "duration" : "symmetry_index";
}

double data_x(const EngineState& state, double x)
{
    return state.CropOrigin + x;
}

std::string pair_json(double lo, double hi)
{
    return "[" + json_number(lo) + ", " + json_number(hi) + "]";
}

}  // namespace

std::vector<std::string> refine_lines(const EngineState& state, ModelFamily family,
                                      const RefineOutput& output)
{
    const ResultLabels labels = refined_labels(state, family, output.fit);
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back("Refined " + labels.x[i].caption);
        if (labels.y[i].enabled)
            lines.push_back("Refined " + labels.y[i].caption);
    }
    lines.push_back("Refined " + labels.r.caption);
    if (labels.measure.enabled)
        lines.push_back("Refined " + labels.measure.caption);
    lines.push_back("Refined sum of squares = " + number_text(output.fit.sq_dist) +
                    " (search: " + number_text(output.search_sq_dist) + ")");
    if (!output.bootstrap)
        return lines;

    const refine::BootstrapResult& boot = *output.bootstrap;
    std::size_t fitted = 0;
    for (const auto& r : boot.replicates)
        fitted += r.has_value();
    lines.push_back("Bootstrap = " + std::to_string(boot.replicates.size()) + " replicates (" +
                    std::to_string(fitted) + " fitted), blocks of " +
                    std::to_string(boot.block_length) + " points, seed " +
                    std::to_string(output.settings.seed));
    const std::string level = " " + percent_text(output.settings.level) + " % interval = ";
    const auto range = [](double lo, double hi, int decimals) {
        return rounded_text(lo, decimals) + " .. " + rounded_text(hi, decimals);
    };
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back("X" + std::to_string(i) + level +
                            range(data_x(state, boot.x[i].lo), data_x(state, boot.x[i].hi), 2));
        if (labels.y[i].enabled)
            lines.push_back("Y" + std::to_string(i) + level + range(boot.y[i].lo, boot.y[i].hi, 2));
    }
    if (labels.measure.enabled && boot.measure)
        lines.push_back(measure_name(family) + level +
                        range(boot.measure->lo, boot.measure->hi,
                              family == ModelFamily::SimpleRamp ? 2 : 4));
    return lines;
}

std::string refine_json(const EngineState& state, ModelFamily family, const RefineOutput& output)
{
    const refine::RefinedFit& fit = output.fit;
    const auto vertices = [&](const Vertices& v, bool x) {
        std::string text = "[";
        for (std::size_t k = 1; k <= 6; ++k) {
            text += x && state.CropOrigin != 0.0
                        ? json_number(data_x(state, static_cast<double>(v[k])))
                        : json_number(v[k]);
            text += k < 6 ? ", " : "]";
        }
        return text;
    };
    std::string text = ",\n  \"refined\": {\n    \"x\": " + vertices(fit.model.x, true) +
                       ",\n    \"y\": " + vertices(fit.model.y, false) +
                       ",\n    \"r\": " + json_number(fit.r) +
                       ",\n    \"sq_dist\": " + json_number(fit.sq_dist);
    if (fit.measure)
        text += ",\n    \"" + measure_key(family) + "\": " + json_number(*fit.measure);
    text += "\n  }";
    if (!output.bootstrap)
        return text;

    const refine::BootstrapResult& boot = *output.bootstrap;
    const auto pairs = [&](const std::array<refine::Interval, 7>& v, bool x) {
        std::string list = "[";
        for (std::size_t k = 1; k <= 6; ++k) {
            list += x ? pair_json(data_x(state, v[k].lo), data_x(state, v[k].hi))
                      : pair_json(v[k].lo, v[k].hi);
            list += k < 6 ? ", " : "]";
        }
        return list;
    };
    text += ",\n  \"bootstrap\": {\n    \"replicates\": " + std::to_string(boot.replicates.size()) +
            ",\n    \"level\": " + json_number(output.settings.level) +
            ",\n    \"seed\": " + std::to_string(output.settings.seed) +
            ",\n    \"block_length\": " + std::to_string(boot.block_length) +
            ",\n    \"x\": " + pairs(boot.x, true) + ",\n    \"y\": " + pairs(boot.y, false);
    if (boot.measure)
        text += ",\n    \"" + measure_key(family) + "\": " + pair_json(boot.measure->lo, boot.measure->hi);
    return text + "\n  }";
}

}  // namespace tolvenar::cli
