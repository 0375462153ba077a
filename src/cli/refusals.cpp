// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/refusals.h"

#include "cli/fit_command.h"
#include "cli/json_text.h"
#include "core/data/data_reader.h"
#include "core/runtime/numbers.h"

#include <cstdint>

namespace tolvenar::cli {

namespace {

constexpr std::string_view kProgram = "tolvenar-fit";

// Short, one-line rendering of a cell's text for a message.
std::string quoted_excerpt(std::string_view text)
{
    constexpr std::size_t kLongest = 40;
    if (text.size() > kLongest)
        return json_string(std::string(text.substr(0, kLongest)) + "...");
    return json_string(text);
}

// Why the import faulted on a text cell: the first data row holding text, when the reader
// gets that far (a text x); a text y already stops the reader.
std::string text_cell_reason(const std::filesystem::path& path)
{
    try {
        const ImportedSeries series = read_data_file(path);
        const DataTable& table = series.table;
        for (std::int32_t row = 1; row <= table.DataCount; ++row) {
            const auto at = static_cast<std::size_t>(row);
            for (const Cell* cell : {&table.DataX[at], &table.DataY[at]}) {
                if (cell->kind == CellKind::Text)
                    return "data row " + std::to_string(row) + " holds the text " +
                           quoted_excerpt(table.text_of(*cell)) + " where a number is needed";
            }
        }
    } catch (const Fault& fault) {
        if (fault.kind() == FaultKind::TypeMismatch)
            return "a y value is text where a number is needed";
    } catch (const std::exception&) {
    }
    return "the data hold text where a number is needed";
}

// Why the overview strip refused its scale: a zero width or a zero height.
std::string flat_series_reason(const std::filesystem::path& path, const Fault& fault)
{
    try {
        const ImportedSeries series = read_data_file(path);
        const DataTable& table = series.table;
        const double first_x = cell_number(table.x_cell(1));
        const double last_x = cell_number(table.x_cell(table.DataCount));
        if (to_single(last_x - first_x) == 0.0f)
            return "the first and the last x are equal (" + number_text(first_x) +
                   "): the series has no horizontal extent";
        if (series.smallest_y == series.largest_y)
            return "all y values are equal (" + number_text(series.largest_y) +
                   "): the series has no vertical extent";
    } catch (const std::exception&) {
    }
    return fault.what();
}

}  // namespace

Refused usage_error(const std::string& message)
{
    return Refused(kExitRefused, message + " (see --help)");
}

Refused refused(const std::string& message)
{
    return Refused(kExitRefused, message);
}

void say(std::ostream& err, std::string_view message)
{
    std::string line(kProgram);
    line += ": ";
    for (const char c : message)
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    err << line << '\n';
}

std::string import_fault_reason(const std::filesystem::path& path, const Fault& fault)
{
    switch (fault.kind()) {
    case FaultKind::TypeMismatch:
        return text_cell_reason(path);
    case FaultKind::InvalidPropertyValue:
        return flat_series_reason(path, fault);
    case FaultKind::Overflow:
        if (fault.where() == "data file number")
            return "a number lies beyond the double-precision range";
        if (fault.where() == "overview scale")
            return "the span of the x or the y values lies beyond the single-precision range";
        if (fault.where() == "single conversion")
            return "a value lies beyond the single-precision range";
        return fault.what();
    case FaultKind::DivisionByZero:
    case FaultKind::IndexOutOfRange:
        break;
    }
    return fault.what();
}

std::string search_fault_hint(const Fault& fault, const EngineState& state,
                              const SearchSettings& settings, const FitOptions& options)
{
    const std::string& where = fault.where();
    if (fault.kind() == FaultKind::Overflow) {
        try {
            to_int16(to_single(settings.runs.value()));
        } catch (const Fault&) {
            return "--runs " + options.runs_text + " lies outside -32768..32767";
        }
        try {
            to_int32(to_single(settings.trials.value()));
        } catch (const Fault&) {
            return "--trials " + options.trials_text + " lies outside the 32-bit range";
        }
    }
    if (where == "convergence plot width" && state.TrialCount == 0)
        return "no trial made since the reset: --trials " + options.trials_text +
               " reads as no trial";
    if (where == "report" && settings.family == ModelFamily::AsymmetricEvent)
        return state.BestOfBestSqDist == kUnsetBestOfBest
                   ? "no model found yet, so the symmetry index divides by X4 - X2 = 0"
                   : "the symmetry index divides by X4 - X2 = 0";
    if (where == "GenerateModel" && settings.family == ModelFamily::EventWithDuration &&
        settings.constrain == 0)
        return "a candidate's break points coincide where the \"Event with duration\" rule "
               "divides by their distance";
    if (where == "GetR" && state.CropCount == 0)
        return "the crop window holds no data point";
    if (where == "ConvergenceTrace")
        return "more than 500 new overall bests since the reset";
    if (where == "TrialCount")
        return "more than 2147483647 trials since the reset";
    return {};
}

void check_search(const SearchOutcome& outcome, std::string_view search, const EngineState& state,
                  const SearchSettings& settings, const FitOptions& options)
{
    if (outcome.end == SearchEnd::Completed)
        return;
    std::string message = std::string(search) + " stopped";
    if (outcome.fault) {
        message += ": ";
        message += outcome.fault->what();
        const std::string hint = search_fault_hint(*outcome.fault, state, settings, options);
        if (!hint.empty())
            message += " (" + hint + ")";
    }
    throw Refused(kExitSearchFailed, message);
}

void check_found(const EngineState& state, const SearchSettings& settings,
                 const FitOptions& options)
{
    if (state.BestOfBestSqDist != kUnsetBestOfBest)
        return;
    double runs = 0.0;
    try {
        runs = static_cast<double>(to_int16(settings.runs.value()));
    } catch (const Fault&) {
    }
    if (runs < 1.0)
        throw Refused(kExitSearchFailed,
                      "no run made: --runs " + options.runs_text + " reads as no run");
    throw Refused(kExitSearchFailed,
                  "search found no model: no run's best squared distance fell below 999999");
}

}  // namespace tolvenar::cli
