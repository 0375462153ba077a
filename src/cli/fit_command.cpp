// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fit_command.h"

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/crop_window.h"
#include "cli/file_result.h"
#include "cli/pictures.h"
#include "cli/plot/fit_picture.h"
#include "cli/refine_output.h"
#include "cli/refusals.h"
#include "cli/result_output.h"
#include "core/data/data_reader.h"
#include "core/model/boxes.h"
#include "core/model/family.h"
#include "core/refine/refine.h"
#include "core/runtime/fault.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/search.h"
#include "core/window/crop.h"

#include <unistd.h>

#include <iostream>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

using namespace cli;

// The data of an accepted file ("-": standard input); the import's refusals as exit 2.
CheckedImport import_file(const std::string& file, std::istream& in)
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
        return import_data_text(text);
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

// Keeps the result labels as the window shows them, counts trials for the progress line, and
// stops the search on Ctrl-C.
class FitObserver final : public SearchObserver {
public:
    FitObserver(ModelFamily family, Progress& progress) : m_progress(progress)
    {
        labels.apply(reset_label_writes(family == ModelFamily::SimpleRamp));
    }
    ~FitObserver() override { publish(); }

    void report_written(const ResultReport& report) override { labels.apply(report.writes); }
    // Every run's best: the refinement's further starts.
    void run_finished(const EngineState& state, std::int16_t) override
    {
        if (state.BestModelX[1] != kUnsetVertex)
            run_bests.push_back({state.BestModelX, state.BestModelY});
    }
    void candidate_evaluated(const EngineState&, std::int64_t) override
    {
        if (++m_unpublished == 1024)
            publish();
    }
    bool stop_requested() override
    {
        stopped = stopped || interrupt_flag().load(std::memory_order_relaxed);
        return stopped;
    }

    ResultLabels labels;
    std::vector<refine::Model> run_bests;
    bool stopped = false;

private:
    void publish()
    {
        m_progress.trials.fetch_add(m_unpublished, std::memory_order_relaxed);
        m_unpublished = 0;
    }

    Progress& m_progress;
    std::int64_t m_unpublished = 0;
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

FoundModel found_model(const EngineState& state, ModelFamily family, const ResultLabels& labels)
{
    FoundModel found{state.CropStart, state.CropCount, state.CropMinY, state.CropMaxY,
                     state.CropOrigin, node_count_of(family), state.BestOfBestX,
                     state.BestOfBestY, state.BestOfBestR, state.BestOfBestSqDist,
                     state.TrialCount, std::nullopt, std::nullopt, report_lines(labels),
                     std::nullopt};
    // The measure as the report computes it, before its rounding.
    const std::optional<float> measure = refine::family_measure(family, state.BestOfBestX);
    if (family == ModelFamily::SimpleRamp)
        found.duration = measure;
    if (family == ModelFamily::AsymmetricEvent)
        found.symmetry_index = measure;
    return found;
}

// The working plot of the fit: the cropped data in blue under the best of best in red, x from
// the crop's left edge, y over the whole series' range as the plot shows it.
plot::FitPicture fit_picture(const EngineState& state, const OverviewScale& scale,
                             const CropWindow& window, const FoundModel& found)
{
    const double left = window.left;
    const double right = window.origin == 0.0
                             ? static_cast<double>(static_cast<float>(window.left + window.width))
                             : window.left + static_cast<double>(window.width);
    plot::FitPicture picture{right - left, scale.ScaleTop,
                             static_cast<double>(scale.ScaleTop) + scale.ScaleHeight, {}};
    plot::Polyline data{{}, plot::kDataBlue, 1.0};
    const DataTable& table = state.data;
    for (std::int32_t i = 1; i < table.DataCount; ++i) {
        const double x1 = cell_number(table.x_cell(i)), x2 = cell_number(table.x_cell(i + 1));
        if (x2 <= left || x1 >= right)
            continue;
        if (data.points.empty())
            data.points.emplace_back(x1 - left, cell_number(table.y_cell(i)));
        data.points.emplace_back(x2 - left, cell_number(table.y_cell(i + 1)));
    }
    plot::Polyline best{{}, plot::kBestOfBestRed, 2.0};
    for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
        best.points.emplace_back(found.origin + found.x[k] - left, found.y[k]);
    picture.lines = {std::move(data), std::move(best)};
    if (found.refined) {
        plot::Polyline refined{{}, plot::kRefinedBlack, 2.0};
        for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
            refined.points.emplace_back(found.origin + found.refined->x[k] - left,
                                        found.refined->y[k]);
        picture.lines.push_back(std::move(refined));
    }
    return picture;
}

// Fits one file as a call with it alone does, from a fresh random source; every refusal, fault
// and interruption ends up in the result.
FileResult fit_file(const FitOptions& options, const std::string& file,
                    const std::string& picture_path, int threads, std::istream& in,
                    Progress& progress)
{
    FileResult result;
    result.file = file;
    if (interrupt_flag().load()) {
        result.code = kExitInterrupted;
        result.reason = "interrupted before its search began";
        return result;
    }
    try {
        // Drawn from by the search alone: with the default seed, as in a freshly started window.
        RandomSource random(options.seed);
        EngineState state;
        CheckedImport imported = import_file(file, in);
        state.data = std::move(imported.series.table);
        const CropWindow window = crop_window(state.data, options);
        result.from = window.from;
        result.to = window.to;
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
        engine.set_threads(threads);
        FitObserver observer(options.family, progress);
        check_search(engine.run(state, settings, random, observer), "search", state, settings,
                     options);
        if (options.constrain && !observer.stopped) {
            settings.constrain = 1;
            check_search(engine.run(state, settings, random, observer), "constrained search",
                         state, settings, options);
        }
        if (observer.stopped) {
            result.code = kExitInterrupted;
            result.reason = "interrupted after " + std::to_string(state.TrialCount) + " trials";
            if (state.BestOfBestSqDist == kUnsetBestOfBest) {
                result.reason += ", before a model was found";
                return result;
            }
        } else {
            check_found(state, settings, options);
        }
        result.found = found_model(state, options.family, observer.labels);
        if (options.refine && result.code == kExitSuccess) {
            result.found->refined =
                refined_model(state, settings, options, std::move(observer.run_bests), threads);
            if (interrupt_flag().load()) {
                result.code = kExitInterrupted;
                result.reason = refine_interruption(*result.found->refined);
            }
        }
        if (!picture_path.empty()) {
            result.picture_path = picture_path;
            result.picture = fit_picture(state, imported.scale, window, *result.found);
        }
    } catch (const Refused& refusal) {
        result.code = std::max(result.code, refusal.code());
        result.reason = refusal.what();
        result.found.reset();
    } catch (const Fault& fault) {  // a fault outside the searches, which explain their own
        result.code = kExitSearchFailed;
        result.reason = fault.what();
        result.found.reset();
    } catch (const std::bad_alloc&) {
        result.code = kExitRefused;
        result.reason = "out of memory";
        result.found.reset();
    }
    return result;
}

// The trials all searches make together, for the progress line; 0 when the counts are odd.
std::int64_t planned_trials(const FitOptions& options, std::size_t files)
{
    try {
        const double trials = FieldNumber::of_text(options.runs_text).value() *
                              FieldNumber::of_text(options.trials_text).value() *
                              (options.constrain ? 2.0 : 1.0) * static_cast<double>(files);
        return trials > 0.0 && trials < 9e18 ? static_cast<std::int64_t>(trials) : 0;
    } catch (const Fault&) {
        return 0;
    }
}

int fit_all(const FitOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
            bool terminal)
{
    check_plot_path(options);
    const std::vector<std::string> files = shard_files(options);
    refuse_shared_streams(files);
    // Named over every file given, so that the shards of one list share no picture either.
    const std::vector<std::string> pictures =
        shard_of(options, picture_paths(options, options.files));
    const InputFiles inputs = options.plot.empty() ? InputFiles() : InputFiles(options.files);
    if (!options.plot.empty())
        plot::load_picture_module();  // before any worker starts
    const bool many = options.files.size() > 1;
    const std::vector<Column> columns = csv_columns(options);
    if (options.csv)
        write_csv_header(out, columns);

    // The cores go to the files first, one each, and what is left over to each file's search;
    // the results are the same for any share.
    const std::size_t cores = options.threads > 0 ? static_cast<std::size_t>(options.threads)
                                                  : usable_cores();
    const std::size_t workers = std::max<std::size_t>(1, std::min(cores, files.size()));
    const int threads = static_cast<int>(std::max<std::size_t>(1, cores / workers));
    Progress progress;
    ProgressLine line(err, terminal, files.size(), planned_trials(options, files.size()));
    int code = kExitSuccess;
    std::size_t written = 0;
    const auto fit = [&](std::size_t i) {
        FileResult result;
        try {
            result = fit_file(options, files[i], pictures[i], threads, in, progress);
        } catch (const std::exception& error) {  // whatever it was, the other files go on
            result = FileResult();
            result.file = files[i];
            result.code = kExitSearchFailed;
            result.reason = error.what();
        }
        ++progress.files;
        return result;
    };
    const auto take = [&](FileResult&& result) {
        line.wipe();
        write_result_picture(result, inputs);
        code = std::max(code, result.code);
        if (options.json)
            out << json_line(result, options) << '\n';
        else if (options.csv)
            write_csv_row(out, columns, result);
        else
            write_text(out, result, many, written == 0);
        ++written;
        out.flush();  // before the reason, which follows the file's name line on a terminal
        // An interruption is told in the output, after the best found if any.
        if (!result.reason.empty() && result.code != kExitInterrupted)
            say(err, many && result.reason.find(result.file) == std::string::npos
                         ? result.file + ": " + result.reason
                         : result.reason);
    };
    run_in_order(files.size(), workers, fit, take, [&] { line.update(progress); });
    line.wipe();
    return code == kExitInterrupted ? interrupted_exit_code() : code;
}

}  // namespace

int run_fit_command(std::span<const std::string> args, std::istream& in, std::ostream& out,
                    std::ostream& err, bool terminal)
{
    int code = kExitSuccess;
    try {
        const FitOptions options = parse_arguments(args);
        if (options.help)
            out << fit_usage();
        else if (options.version)
            out << "tolvenar-fit " << TOLVENAR_VERSION << '\n';
        else
            code = fit_all(options, in, out, err, terminal);
    } catch (const Refused& refusal) {
        say(err, refusal.what());
        return refusal.code();
    } catch (const std::bad_alloc&) {
        say(err, "out of memory");
        return kExitRefused;
    } catch (const std::exception& error) {  // what no refusal foresaw ends the call, not abort
        say(err, error.what());
        return kExitSearchFailed;
    }
    out.flush();
    if (!out) {
        say(err, "cannot write the output");
        return std::max(code, kExitOutputFailed);
    }
    return code;
}

int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    install_interrupt_handler();
    return run_fit_command(args, std::cin, out, err, isatty(STDERR_FILENO) == 1);
}

}  // namespace tolvenar
