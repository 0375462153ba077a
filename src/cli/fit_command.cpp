// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fit_command.h"

#include "cli/arguments.h"
#include "cli/crop_window.h"
#include "cli/json_text.h"
#include "cli/refusals.h"
#include "core/data/data_reader.h"
#include "core/model/boxes.h"
#include "core/model/family.h"
#include "core/runtime/fault.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/search.h"
#include "core/window/crop.h"

#include <iostream>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

using namespace cli;

// The data table of an accepted file ("-": standard input); the import's refusals as exit 2.
DataTable import_table(const std::string& file, std::istream& in)
{
    const bool standard_input = file == "-";
    try {
        std::string text;
        if (standard_input) {
            text.assign(std::istreambuf_iterator<char>(in), {});
            if (in.bad())
                throw ImportError(ImportFailure::CannotOpen, "cannot read standard input");
        } else {
            text = read_data_bytes(file);
        }
        return std::move(import_data_text(text).series.table);
    } catch (const ImportError& error) {
        throw refused(import_refusal_line(standard_input ? "standard input" : file, error));
    }
}

// What choosing the family in the window does to the engine: the results, the counters and
// the manual boxes forgotten, NodeCount from the family.
void reset_for(EngineState& state, ModelFamily family)
{
    forget_best_of_best(state);
    state.TrialCount = 0;
    state.ConvergenceCount = 0;
    clear_manual_boxes(state);
    state.NodeCount = node_count_of(family);
}

// Keeps the result labels as the window shows them.
class LabelMirror final : public SearchObserver {
public:
    explicit LabelMirror(ModelFamily family)
    {
        labels.apply(reset_label_writes(family == ModelFamily::SimpleRamp));
    }

    void report_written(const ResultReport& report) override { labels.apply(report.writes); }

    ResultLabels labels;
};

// The enabled labels in the window's reading order: X1, Y1, ..., X6, Y6, R, the measure.
std::vector<std::string> report_lines(const ResultLabels& labels)
{
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= 6; ++i) {
        if (labels.x[i].enabled)
            lines.push_back(labels.x[i].caption);
        if (labels.y[i].enabled)
            lines.push_back(labels.y[i].caption);
    }
    if (labels.r.enabled)
        lines.push_back(labels.r.caption);
    if (labels.measure.enabled)
        lines.push_back(labels.measure.caption);
    return lines;
}

int fit(const FitOptions& options, RandomSource& random, std::istream& in, std::ostream& out)
{
    EngineState state;
    state.data = import_table(options.file, in);
    const CropWindow window = crop_window(state.data, options);
    take_crop(state, window);
    reset_for(state, options.family);

    SearchSettings settings;
    settings.family = options.family;
    settings.constrain = 0;
    settings.runs = FieldNumber::of_text(options.runs_text);
    settings.trials = FieldNumber::of_text(options.trials_text);
    settings.scale_left = model_x_of(state, window.left);
    settings.scale_width = window.width;

    // One engine for both searches: its convergence scale lives on like the window's plot.
    SearchEngine engine;
    if (options.threads > 0)
        engine.set_threads(options.threads);
    LabelMirror mirror(options.family);
    check_search(engine.run(state, settings, random, mirror), "search", state, settings, options);
    if (options.constrain) {
        settings.constrain = 1;
        check_search(engine.run(state, settings, random, mirror), "constrained search", state,
                     settings, options);
    }
    check_found(state, settings, options);

    const std::vector<std::string> lines = report_lines(mirror.labels);
    if (options.json) {
        write_json(out, options.family, state, lines);
    } else {
        for (const std::string& line : lines)
            out << line << '\n';
    }
    return kExitSuccess;
}

}  // namespace

int run_fit_command(std::span<const std::string> args, std::istream& in, std::ostream& out,
                    std::ostream& err)
{
    // Created first and drawn from by the search alone, as in a freshly started window.
    RandomSource random;
    int code = kExitSuccess;
    try {
        const FitOptions options = parse_arguments(args);
        if (options.help)
            out << fit_usage();
        else if (options.version)
            out << "tolvenar-fit " << TOLVENAR_VERSION << '\n';
        else
            code = fit(options, random, in, out);
    } catch (const Refused& refusal) {
        say(err, refusal.what());
        return refusal.code();
    } catch (const std::bad_alloc&) {
        say(err, "out of memory");
        return kExitRefused;
    }
    out.flush();
    if (!out) {
        say(err, "cannot write the output");
        return kExitOutputFailed;
    }
    return code;
}

int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    return run_fit_command(args, std::cin, out, err);
}

}  // namespace tolvenar
