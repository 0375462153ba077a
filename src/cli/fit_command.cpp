// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fit_command.h"

#include "cli/json_text.h"
#include "core/data/data_reader.h"
#include "core/model/boxes.h"
#include "core/model/family.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/search.h"
#include "core/window/crop.h"
#include "core/window/crop_scan.h"

#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

constexpr std::string_view kProgram = "tolvenar-fit";

// Ends the command before any output: the exit code and one line for stderr.
class Refused : public std::runtime_error {
public:
    Refused(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

Refused usage_error(const std::string& message)
{
    return Refused(kExitRefused, message + " (see --help)");
}

Refused refused(const std::string& message)
{
    return Refused(kExitRefused, message);
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// True when `text`, blanks around it aside, is wholly one decimal number in the syntax of the
// leading-number parse. A command line refuses "12abc", where a typed field would read 12.
bool is_whole_number(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && is_digit(text[i]))
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

struct Edge {
    double value = 0.0;
    std::string name;  // for messages: "--from 12" or "the first data x (0)"
};

Edge typed_edge(const std::string& option, const std::string& text)
{
    if (!is_whole_number(text))
        throw usage_error(option + " needs a number, not \"" + text + "\"");
    try {
        return {parse_leading_number(text), option + " " + text};
    } catch (const Fault&) {
        throw refused(option + " " + text + " lies beyond the double-precision range");
    }
}

struct FitOptions {
    ModelFamily family = ModelFamily::SimpleRamp;
    std::string runs_text = SearchSettings{}.runs_text;      // Text6, passed on as typed
    std::string trials_text = SearchSettings{}.trials_text;  // Text3(0), passed on as typed
    std::optional<Edge> from;  // crop left edge; unset = the first data x
    std::optional<Edge> to;    // crop right edge; unset = the last data x
    bool constrain = false;
    bool json = false;
    bool help = false;
    bool version = false;
    std::string file;
};

ModelFamily model_named(const std::string& name)
{
    const std::optional<ModelFamily> family = family_from_name(name);
    if (!family)
        throw usage_error("unknown model \"" + name + "\"");
    if (*family == ModelFamily::ManualConstraint)
        throw refused("\"Manual constraint\" needs its boxes drawn with the mouse: use the window");
    return *family;
}

FitOptions parse_arguments(std::span<const std::string> args)
{
    FitOptions options;
    std::vector<std::string> files;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg.front() != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "-h") {
            options.help = true;
            continue;
        }
        if (!arg.starts_with("--"))
            throw usage_error("unknown option " + arg);

        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const std::optional<std::string> attached =
            equals == std::string::npos ? std::nullopt
                                        : std::optional<std::string>(arg.substr(equals + 1));
        // An option's value is attached (--runs=5) or the next argument, whatever it looks like.
        const auto value = [&]() -> std::string {
            if (attached)
                return *attached;
            if (i + 1 >= args.size())
                throw usage_error("option " + name + " needs a value");
            return args[++i];
        };
        const auto flag = [&](bool& target) {
            if (attached)
                throw usage_error("option " + name + " takes no value");
            target = true;
        };

        if (name == "--help")
            flag(options.help);
        else if (name == "--version")
            flag(options.version);
        else if (name == "--constrain")
            flag(options.constrain);
        else if (name == "--json")
            flag(options.json);
        else if (name == "--model")
            options.family = model_named(value());
        else if (name == "--runs")
            options.runs_text = value();
        else if (name == "--trials")
            options.trials_text = value();
        else if (name == "--from")
            options.from = typed_edge("--from", value());
        else if (name == "--to")
            options.to = typed_edge("--to", value());
        else
            throw usage_error("unknown option " + name);
    }
    if (options.help || options.version)
        return options;
    if (files.empty())
        throw usage_error("no data file given");
    if (files.size() > 1)
        throw usage_error("more than one data file given (" + files[0] + ", " + files[1] + ")");
    options.file = files.front();
    return options;
}

// ---- Import ---------------------------------------------------------------------------------

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

// The data table of an accepted file; the import's refusals and faults as exit 2.
DataTable import_table(const std::string& file)
{
    try {
        return std::move(import_data_file(file).series.table);
    } catch (const ImportError& error) {
        if (error.reason() == ImportFailure::CannotOpen)
            throw refused(error.what());  // names the path itself
        throw refused(file + ": " + error.what());
    } catch (const Fault& fault) {
        throw refused(file + ": " + import_fault_reason(file, fault));
    }
}

// ---- Crop -----------------------------------------------------------------------------------

struct CropWindow {
    float left = 0.0f;   // working plot ScaleLeft, data x
    float width = 0.0f;  // working plot ScaleWidth, data x
};

Edge data_edge(const DataTable& table, std::int32_t row, std::string_view which)
{
    const double x = cell_number(table.x_cell(row));
    return {x, std::string(which) + " (" + number_text(x) + ")"};
}

// The window's edges as typed into the two bound fields: left = single(from), width =
// single(to - from) with the difference in double.
CropWindow crop_window(const DataTable& table, const FitOptions& options)
{
    const Edge from = options.from ? *options.from : data_edge(table, 1, "the first data x");
    const Edge to = options.to ? *options.to : data_edge(table, table.DataCount, "the last data x");
    if (to.value < from.value)
        throw refused("the crop window's right edge, " + to.name +
                      ", lies left of its left edge, " + from.name);
    if (to.value == from.value)
        throw refused("the crop window has zero width: " + from.name + " and " + to.name +
                      " are equal");
    CropWindow window;
    try {
        window.left = to_single(from.value);
    } catch (const Fault&) {
        throw refused("the crop window's left edge, " + from.name +
                      ", lies beyond the single-precision range");
    }
    try {
        window.width = to_single(to.value - from.value);
    } catch (const Fault&) {
        throw refused("the crop window is wider than the single-precision range");
    }
    if (window.width == 0.0f)
        throw refused("the crop window from " + from.name + " to " + to.name +
                      " has zero width in single precision");
    return window;
}

// The crop as the window takes it; a fault, which the window leaves silently, as exit 2.
void take_crop(EngineState& state, const CropWindow& window)
{
    try {
        crop_without_drawing(state, window.left, window.width);
    } catch (const Fault& fault) {
        std::string reason;
        if (fault.kind() == FaultKind::IndexOutOfRange)
            reason = "no data row at or right of the left edge " + number_text(window.left) +
                     " (the last data x is " +
                     number_text(cell_number(state.data.x_cell(state.data.DataCount))) + ")";
        else if (fault.kind() == FaultKind::Overflow && fault.where() == "CropCount") {
            const std::int64_t first = first_crop_row(state.data, window.left);
            const std::int64_t stop =
                crop_stop_row(state.data, first, window.left + window.width);
            reason = "more than 32767 points in the crop window (" +
                     std::to_string(stop - first) + ")";
        }
        else if (fault.kind() == FaultKind::Overflow)
            reason = "the crop window's right edge lies beyond the single-precision range";
        else
            reason = fault.what();
        throw refused("cannot crop: " + reason);
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

// ---- Search ---------------------------------------------------------------------------------

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

// The context a search fault lacks: which input or limit it comes from, where that is clear.
std::string search_fault_hint(const Fault& fault, const EngineState& state,
                              const SearchSettings& settings)
{
    const std::string& where = fault.where();
    if (fault.kind() == FaultKind::Overflow) {
        try {
            to_int16(to_single(parse_leading_number(settings.runs_text)));
        } catch (const Fault&) {
            return "--runs " + settings.runs_text + " lies outside -32768..32767";
        }
        try {
            to_int32(to_single(parse_leading_number(settings.trials_text)));
        } catch (const Fault&) {
            return "--trials " + settings.trials_text + " lies outside the 32-bit range";
        }
    }
    if (where == "convergence plot width" && state.TrialCount == 0)
        return "no trial made since the reset: --trials " + settings.trials_text +
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
                  const SearchSettings& settings)
{
    if (outcome.end == SearchEnd::Completed)
        return;
    std::string message = std::string(search) + " stopped";
    if (outcome.fault) {
        message += ": ";
        message += outcome.fault->what();
        const std::string hint = search_fault_hint(*outcome.fault, state, settings);
        if (!hint.empty())
            message += " (" + hint + ")";
    }
    throw Refused(kExitSearchFailed, message);
}

// A completed search that promoted no run leaves the sentinels where the break points belong.
void check_found(const EngineState& state, const SearchSettings& settings)
{
    if (state.BestOfBestSqDist != kUnsetBestOfBest)
        return;
    double runs = 0.0;
    try {
        runs = static_cast<double>(to_int16(parse_leading_number(settings.runs_text)));
    } catch (const Fault&) {
    }
    if (runs < 1.0)
        throw Refused(kExitSearchFailed,
                      "no run made: --runs " + settings.runs_text + " reads as no run");
    throw Refused(kExitSearchFailed,
                  "search found no model: no run's best squared distance fell below 999999");
}

// ---- Output ---------------------------------------------------------------------------------

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

std::string json_vertices(const Vertices& values)
{
    std::string text = "[";
    for (std::size_t k = 1; k <= 6; ++k) {
        text += json_number(values[k]);
        text += k < 6 ? ", " : "]";
    }
    return text;
}

void write_json(std::ostream& out, ModelFamily family, const EngineState& state,
                const std::vector<std::string>& lines)
{
    out << "{\n"
        << "  \"model\": " << json_string(family_caption(family)) << ",\n"
        << "  \"crop\": {\"start\": " << state.CropStart << ", \"count\": " << state.CropCount
        << ", \"min_y\": " << json_number(state.CropMinY)
        << ", \"max_y\": " << json_number(state.CropMaxY) << "},\n"
        << "  \"best\": {\n"
        << "    \"x\": " << json_vertices(state.BestOfBestX) << ",\n"
        << "    \"y\": " << json_vertices(state.BestOfBestY) << ",\n"
        << "    \"r\": " << json_number(state.BestOfBestR) << ",\n"
        << "    \"sq_dist\": " << json_number(state.BestOfBestSqDist) << "\n"
        << "  },\n"
        << "  \"trials\": " << state.TrialCount << ",\n"
        << "  \"report\": [";
    for (std::size_t i = 0; i < lines.size(); ++i)
        out << (i == 0 ? "\n    " : ",\n    ") << json_string(lines[i]);
    out << (lines.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

// One line on stderr, whatever the message holds.
void say(std::ostream& err, std::string_view message)
{
    std::string line(kProgram);
    line += ": ";
    for (const char c : message)
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    err << line << '\n';
}

int fit(const FitOptions& options, RandomSource& random, std::ostream& out)
{
    EngineState state;
    state.data = import_table(options.file);
    const CropWindow window = crop_window(state.data, options);
    take_crop(state, window);
    reset_for(state, options.family);

    SearchSettings settings;
    settings.family = options.family;
    settings.constrain = 0;
    settings.runs_text = options.runs_text;
    settings.trials_text = options.trials_text;
    settings.scale_left = window.left;
    settings.scale_width = window.width;

    // One engine for both searches: its convergence scale lives on like the window's plot.
    SearchEngine engine;
    LabelMirror mirror(options.family);
    check_search(engine.run(state, settings, random, mirror), "search", state, settings);
    if (options.constrain) {
        settings.constrain = 1;
        check_search(engine.run(state, settings, random, mirror), "constrained search", state,
                     settings);
    }
    check_found(state, settings);

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

std::string fit_usage()
{
    return R"(Usage: tolvenar-fit [OPTION]... FILE.csv
Fit a piecewise-linear model to a cropped window of a data series by Monte Carlo search and
print the best model's break points, its correlation R and, for two families, the symmetry
index or the duration of change, as the window reports them.

  --model NAME   model family (default "Simple ramp"):
                   "Simple ramp" or ramp          "Free 4 segments" or free4
                   "Symmetric event" or symmetric "Free 3 segments" or free3
                   "Asymmetric event" or asymmetric
                   "Event with duration" or duration
  --runs R       runs per search (default 10)
  --trials N     random candidates per run (default 1000)
  --from X       left edge of the crop window in data x (default: the first data x)
  --to X         right edge of the crop window (default: the last data x)
  --constrain    search a second time, inside the boxes around the break points found
  --json         print one JSON object instead of the report lines
  -h, --help     print this help and exit
  --version      print the version and exit

Options take their value as "--runs 5" or "--runs=5". "Manual constraint" needs boxes drawn
with the mouse and is the window's alone.

Exit status: 0 done; 1 the output could not be written; 2 bad usage, or a data file that
cannot be read, imported or cropped; 3 the search stopped on a fault or found no model.
)";
}

int run_fit_command(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    // Created first and drawn from by the search alone, as in a freshly started window.
    RandomSource random;
    int code = kExitSuccess;
    try {
        const FitOptions options = parse_arguments(args);
        if (options.help)
            out << fit_usage();
        else if (options.version)
            out << kProgram << ' ' << TOLVENAR_VERSION << '\n';
        else
            code = fit(options, random, out);
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

}  // namespace tolvenar
