// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include "cli/data_options.h"
#include "cli/fit_command.h"
#include "cli/refusals.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace tolvenar {

namespace cli {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

std::string count_text(const std::string& option, const std::string& text)
{
    if (!is_whole_count(text))
        throw usage_error(option + " needs a whole number, not \"" + text + "\"");
    return text;
}

// A whole number in [low, high] for `option`.
std::int64_t bounded_count(const std::string& option, const std::string& text, std::int64_t low,
                           std::int64_t high)
{
    std::int64_t value = 0;
    const std::string digits = count_text(option, text);
    const char* first = digits.data() + (digits.starts_with('+') ? 1 : 0);
    const auto read = std::from_chars(first, digits.data() + digits.size(), value);
    if (read.ec != std::errc() || value < low || value > high)
        throw usage_error(option + " needs a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not \"" + text + "\"");
    return value;
}

double interval_level(const std::string& text)
{
    if (!is_number_text(text))
        throw usage_error("--level needs a number, not \"" + text + "\"");
    const double level = parse_leading_number(text);
    if (!(level > 0.0 && level < 1.0))
        throw usage_error("--level needs a fraction between 0 and 1 (0.9 for 90 %), not \"" +
                          text + "\"");
    return level;
}

constexpr int kMostThreads = 1024;
// Fewer replicates give no interval worth its name: with one, its width is zero.
constexpr std::int64_t kFewestReplicates = 20;

int thread_count(const std::string& text)
{
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
    const int count = digits && text.size() <= 4 ? std::stoi(text) : 0;
    if (count < 1 || count > kMostThreads)
        throw usage_error("--threads needs a whole number from 1 to " +
                          std::to_string(kMostThreads) + ", not \"" + text + "\"");
    return count;
}

ModelFamily model_named(const std::string& name)
{
    const std::optional<ModelFamily> family = family_from_name(name);
    if (!family)
        throw usage_error("unknown model \"" + name + "\"");
    if (family_row(*family).drawn)
        throw refused("\"" + std::string(family_caption(*family)) +
                      "\" needs its boxes drawn with the mouse: use the window");
    return *family;
}

Shard shard_named(const std::string& text)
{
    Shard shard;
    const std::size_t slash = text.find('/');
    const auto read = [&](std::string_view digits, std::size_t& value) {
        const char* last = digits.data() + digits.size();
        const auto [end, error] = std::from_chars(digits.data(), last, value);
        if (error == std::errc::result_out_of_range)
            throw usage_error("--shard " + text + ": " + std::string(digits) +
                              " does not fit in 64 bits");
        return !digits.empty() && error == std::errc() && end == last;
    };
    if (slash == std::string::npos || !read(std::string_view(text).substr(0, slash), shard.k) ||
        !read(std::string_view(text).substr(slash + 1), shard.n) || shard.k < 1 ||
        shard.k > shard.n)
        throw usage_error("--shard needs K/N with 1 <= K <= N, not \"" + text + "\"");
    return shard;
}

// --searches: RxN or RxNc (inside the constraint boxes), comma-separated, each count whole.
std::vector<SearchStep> searches_named(const std::string& text)
{
    std::vector<SearchStep> searches;
    const auto refuse = [&] {
        return usage_error("--searches needs a list such as 10x1000,10x1000c, not \"" + text +
                           "\"");
    };
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        std::string item = text.substr(at, comma - at);
        SearchStep step;
        step.constrain = item.ends_with('c');
        if (step.constrain)
            item.pop_back();
        const std::size_t times = item.find('x');
        if (times == std::string::npos)
            throw refuse();
        step.runs = item.substr(0, times);
        step.trials = item.substr(times + 1);
        if (!is_whole_count(step.runs) || !is_whole_count(step.trials))
            throw refuse();
        searches.push_back(step);
        at = comma + 1;
    }
    return searches;
}

std::string texts_joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : ", ") + text;
    return joined;
}

// Every option, declared once; values land as text and are read after the parse, so that the
// refusals name them as typed.
struct OptionTexts {
    std::string model, runs, trials, from, to, shard, bootstrap, level, seed, threads;
    DataOptionTexts data;  // --x, --y, --sigma, --missing
    std::string test_replicates, alpha, draws, searches, bootstrap_seed, plot_size, dpi, lag_to;
    std::string min_size, penalty, max_events;
    bool constrain = false;
    bool scan = false;
};

// A fraction strictly between 0 and 1 for `option`.
double open_fraction(const std::string& option, const std::string& text, const std::string& example)
{
    if (!is_number_text(text))
        throw usage_error(option + " needs a number, not \"" + text + "\"");
    const double value = parse_leading_number(text);
    if (!(value > 0.0 && value < 1.0))
        throw usage_error(option + " needs a fraction between 0 and 1 (" + example + "), not \"" +
                          text + "\"");
    return value;
}

// "1600x1000" as a picture's width and height in pixels, each 64 to 20000.
PictureSize picture_size(const std::string& text, int dpi)
{
    const std::size_t by = text.find_first_of("xX");
    const std::string problem = "--plot-size needs WIDTHxHEIGHT in pixels, each 64 to 20000 "
                                "(1600x1000), not \"" + text + "\"";
    if (by == std::string::npos)
        throw usage_error(problem);
    try {
        return {static_cast<int>(bounded_count("--plot-size", text.substr(0, by), 64, 20000)),
                static_cast<int>(bounded_count("--plot-size", text.substr(by + 1), 64, 20000)),
                dpi};
    } catch (const Refused&) {
        throw usage_error(problem);
    }
}

// The reference of several --y columns, and what lags cannot be taken with.
void check_lags(const CLI::App& app, FitOptions& options, const std::string& lag_to)
{
    if (options.series.empty()) {
        if (app.count("--lag-to") > 0)
            throw usage_error("--lag-to needs two series or more: give --y two columns or "
                              "more, such as --y Ca,d18O");
        return;
    }
    options.lag_to = app.count("--lag-to") > 0 ? lag_to : options.series.front();
    const bool numbers = std::any_of(options.series.begin(), options.series.end(),
                                     [](const std::string& y) { return is_whole_count(y); });
    // A title may name a column given by number; the file tells, and the fit refuses it then.
    if (!numbers && std::find(options.series.begin(), options.series.end(), options.lag_to) ==
                        options.series.end())
        throw usage_error("--lag-to " + options.lag_to + " is not one of the columns --y fits (" +
                          texts_joined(options.series) + ")");
    if (options.request.compare)
        throw usage_error("lags need one family for every series: leave out --compare, which "
                          "could choose another for each");
    if (!options.plot.empty())
        throw usage_error("--plot draws one series: leave it out with several --y columns");
}

void declare_options(CLI::App& app, FitOptions& options, OptionTexts& texts)
{
    FitRequest& request = options.request;
    const auto value = [&](const std::string& name, std::string& target, const std::string& kind,
                           const std::string& description) {
        return text_option(app, name, target, kind, description);
    };
    value("--model", texts.model, "NAME",
          "model family by name or caption (default ramp,\n\"Simple ramp\"): see the families "
          "below");
    value("--runs", texts.runs, "R", "runs per search, a whole number (default 10)");
    value("--trials", texts.trials, "N",
          "random candidates per run, a whole number (default 1000)");
    value("--from", texts.from, "X",
          "left edge of the crop window in data x, a number or\nan ISO date as the file's x "
          "(default: the first\ndata x)");
    value("--to", texts.to, "X", "right edge of the crop window (default: the last data x)");
    declare_data_options(app, texts.data);
    value("--threads", texts.threads, "N",
          "cores to use, shared out over the files and each\nfile's search (default: every "
          "usable core); the\nresults are the same for every number");
    app.add_flag("--constrain", texts.constrain,
                 "search a second time, inside the boxes around the\nbreak points found")
        ->disable_flag_override();
    app.add_flag("--refine", request.refine,
                 "then move to the family's least-squares optimum near\nthe best model found "
                 "(ties and boxes kept, never worse)\nand print it after the search's report")
        ->disable_flag_override();
    value("--bootstrap", texts.bootstrap, "B",
          "refine, then refit B replicates (20 or more) of the\ncrop (the refined curve plus its "
          "residuals\nresampled in blocks, or their AR(1) on x when x are\nunevenly spaced) "
          "and print an interval for every value");
    app.add_flag("--bootstrap-search", request.bootstrap_search,
                 "search each replicate (runs x trials) before its\nrefinement, so the intervals "
                 "carry the search's own\nvariability (default: each replicate's optimum from\n"
                 "the refined fit's)")
        ->disable_flag_override();
    value("--level", texts.level, "P", "the intervals' level, a fraction (default 0.9)");
    app.add_flag("--compare", request.compare,
                 "compare the constant, the line and every event family\n"
                 "at its least-squares optimum (AR(1) likelihoods, AIC,\n"
                 "BIC), test for an event, then search the chosen family\n"
                 "(instead of --model); \"no event\" when a null wins")
        ->disable_flag_override();
    value("--test-replicates", texts.test_replicates, "B",
          "replicates of the event test, a parametric bootstrap\nunder the better model without an "
          "event (default 199;\n0: the choice by BIC alone); implies --compare");
    value("--alpha", texts.alpha, "A",
          "the event test's level (default 0.05): with p >= A\nno event is chosen, whatever BIC "
          "says; implies --compare");
    value("--seed", texts.seed, "S",
          "start of the random source, 0 to 4294967295\n(default 5489, the window's)");
    value("--draws", texts.draws, "N",
          "draws of the random source to step over before the\nfirst search (default 0): a "
          "record's \"draws\", where\nthe window's stream stood at its search");
    value("--searches", texts.searches, "LIST",
          "the searches in order, each going on from the last:\nRxN for R runs of N trials, "
          "RxNc inside the\nconstraint boxes (10x1000,10x1000c is --constrain);\n"
          "a record's \"searches\"");
    value("--bootstrap-seed", texts.bootstrap_seed, "S",
          "start of the replicates' random streams (default:\n--seed)");
    app.add_flag("--scan", texts.scan,
                 "find every abrupt transition of the series (within\n--from and --to) and fit "
                 "each on its own crop, refined,\nas --from A --to B --refine fits that crop "
                 "alone:\none JSON object or CSV row per event, or a table")
        ->disable_flag_override();
    value("--min-size", texts.min_size, "N",
          "with --scan: least points a segment of the scan holds\n(default 1)");
    value("--penalty", texts.penalty, "P",
          "with --scan: the cost of a break, in squared residuals\nover the noise variance "
          "(default: from the noise,\nfor about 5 % false events in red noise alone)");
    value("--max-events", texts.max_events, "K",
          "with --scan: keep the K largest events (default 0: all)");
    value("--lag-to", texts.lag_to, "COL",
          "with several --y columns, the one whose break points\nthe others' are measured "
          "from (default: the first);\nwith many files, one event each, the lags are also\n"
          "combined over the events");
    app.add_flag("--json", options.json, "print one JSON object per file, one a line")
        ->disable_flag_override();
    app.add_flag("--csv", options.csv, "print a header row, then one row per file")
        ->disable_flag_override();
    value("--plot", options.plot, "PATH",
          "draw each fit into PATH.png or PATH.svg; with many\nfiles PATH is a folder of "
          "pictures named by the\nfiles' paths below the folder they share");
    value("--plot-size", texts.plot_size, "WxH",
          "the PNG's or SVG's width and height in pixels\n(default 640x480)");
    value("--dpi", texts.dpi, "D",
          "the picture's resolution in dots per inch, which\nsizes its text and lines (default "
          "96)");
    value("--shard", texts.shard, "K/N",
          "fit only the K-th of N shares of the files: those at\npositions K, K + N, K + 2N, ...");
    app.add_option("FILE", options.files, "data files; \"-\" reads standard input")
        ->type_name("");
    app.set_version_flag("--version", std::string("tolvenar-fit ") + TOLVENAR_VERSION,
                         "print the version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");
}

// The families tolvenar-fit fits, in the window's order: name, caption and what each is.
std::string family_lines()
{
    std::vector<const FamilyRow*> rows;
    for (const FamilyRow& row : family_table())
        rows.push_back(&row);
    std::sort(rows.begin(), rows.end(),
              [](const auto* a, const auto* b) { return a->button.order < b->button.order; });
    std::string lines = "Model families (--model NAME or its caption):\n";
    for (const FamilyRow* row : rows) {
        std::string name(row->drawn ? "" : row->short_name);
        name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
        lines += "  " + name + "\"" + std::string(row->caption) + "\": " +
                 std::string(row->help) + "\n";
    }
    return lines;
}

void describe(CLI::App& app)
{
    app.description("Fit a piecewise-linear model to a cropped window of each data series by Monte "
                    "Carlo search\nand print the best model's break points, its correlation R "
                    "and, for two families,\nthe symmetry index or the duration of change, as "
                    "the window reports them.");
    app.footer(family_lines() + R"(
Options take their value as "--runs 5" or "--runs=5". Many files are fitted in
parallel over the cores, each exactly as alone; the output keeps their order. On a terminal
a progress line shows on standard error; Ctrl-C or SIGTERM stops the search, refinement or
bootstrap, prints the best found so far, marked as interrupted ("status": "interrupted"), and
exits 130 (143 for SIGTERM); a second signal ends the program at once.

Exit status: 0 every file fitted; 1 the output could not be written; 2 bad usage, or a data
file that cannot be read, imported or cropped (a crop window without a data point included);
3 the search stopped on a fault or found no model; 130 (SIGINT) or 143 (SIGTERM) interrupted.
With many files, the largest status of any file.)");
}

// --scan and its settings, once the fit's own options are read.
void read_scan(const CLI::App& app, const OptionTexts& texts, FitOptions& options)
{
    if (!texts.scan) {
        for (const char* option : {"--min-size", "--penalty", "--max-events"})
            if (app.count(option) > 0)
                throw usage_error(std::string(option) + " steers --scan: give --scan too");
        return;
    }
    if (options.request.compare)
        throw usage_error("--scan fits each event with --model: leave out --compare");
    if (app.count("--plot") > 0)
        throw usage_error("--plot draws one fit a file: leave it out with --scan");
    ScanRequest scan;
    if (app.count("--min-size") > 0)
        scan.min_size =
            static_cast<std::size_t>(bounded_count("--min-size", texts.min_size, 1, 1000000));
    if (app.count("--max-events") > 0)
        scan.max_events =
            static_cast<std::size_t>(bounded_count("--max-events", texts.max_events, 0, 1000000));
    if (app.count("--penalty") > 0) {
        double penalty = -1.0;
        try {
            if (is_number_text(texts.penalty))
                penalty = parse_leading_number(texts.penalty);
        } catch (const Fault&) {  // beyond the double range
        }
        if (!(penalty >= 0.0 && std::isfinite(penalty)))
            throw usage_error("--penalty needs a number, 0 or more, not \"" + texts.penalty +
                              "\"");
        scan.penalty = penalty;
    }
    options.request.refine = true;
    scan.fit = options.request;
    options.scan = scan;
}

}  // namespace

bool is_whole_count(std::string_view text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-'))
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

FitOptions parse_arguments(std::span<const std::string> args)
{
    FitOptions options;
    FitRequest& request = options.request;
    OptionTexts texts;
    texts.runs = request.first_search().runs;
    texts.trials = request.first_search().trials;
    CLI::App app("", "tolvenar-fit");
    describe(app);
    declare_options(app, options, texts);
    // CLI11 reads "--runs=" as "--runs" taking the next argument; an empty value it stays.
    std::vector<std::string> reversed;
    bool options_ended = false;
    for (const std::string& arg : args) {
        options_ended = options_ended || arg == "--";
        if (!options_ended && arg.starts_with("--") && arg.ends_with('=') &&
            arg.find('=') == arg.size() - 1) {
            reversed.push_back(arg.substr(0, arg.size() - 1));
            reversed.emplace_back();
        } else {
            reversed.push_back(arg);
        }
    }
    std::reverse(reversed.begin(), reversed.end());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return options;
    } catch (const CLI::CallForVersion&) {
        options.version = true;
        return options;
    } catch (const CLI::ParseError& error) {
        throw usage_error(error.what());
    }
    if (app.count("--model") > 0)
        request.family = model_named(texts.model);
    const SearchStep first{count_text("--runs", texts.runs), count_text("--trials", texts.trials),
                           false};
    request.searches = {first};
    if (texts.constrain)
        request.searches.push_back({first.runs, first.trials, true});
    if (app.count("--searches") > 0) {
        if (app.count("--runs") > 0 || app.count("--trials") > 0 || texts.constrain)
            throw usage_error("--searches gives the counts itself: leave out --runs, --trials "
                              "and --constrain");
        request.searches = searches_named(texts.searches);
    }
    if (app.count("--draws") > 0)
        request.draws = static_cast<std::uint64_t>(
            bounded_count("--draws", texts.draws, 0, std::numeric_limits<std::int64_t>::max()));
    if (app.count("--from") > 0)
        request.from = typed_edge("--from", texts.from);
    if (app.count("--to") > 0)
        request.to = typed_edge("--to", texts.to);
    options.read = read_options(app, texts.data);
    if (app.count("--shard") > 0)
        options.shard = shard_named(texts.shard);
    if (app.count("--threads") > 0)
        options.threads = thread_count(texts.threads);
    request.threads = options.threads;
    if (app.count("--bootstrap") > 0)
        request.bootstrap = static_cast<std::int32_t>(
            bounded_count("--bootstrap", texts.bootstrap, kFewestReplicates, 1000000));
    request.refine = request.refine || request.bootstrap > 0;
    if (app.count("--level") > 0)
        request.level = interval_level(texts.level);
    if (app.count("--test-replicates") > 0)
        request.test_replicates = static_cast<std::size_t>(
            bounded_count("--test-replicates", texts.test_replicates, 0, 1000000));
    if (app.count("--alpha") > 0)
        request.alpha = open_fraction("--alpha", texts.alpha, "0.05 for 5 %");
    request.compare = request.compare || app.count("--test-replicates") > 0 || app.count("--alpha") > 0;
    if (request.compare && app.count("--model") > 0)
        throw usage_error("--compare chooses the model itself: leave out --model");
    if (app.count("--seed") > 0)
        request.seed =
            static_cast<std::uint32_t>(bounded_count("--seed", texts.seed, 0, 4294967295LL));
    if (app.count("--bootstrap-seed") > 0)
        request.bootstrap_seed = static_cast<std::uint32_t>(
            bounded_count("--bootstrap-seed", texts.bootstrap_seed, 0, 4294967295LL));
    if (options.json && options.csv)
        throw usage_error("--json and --csv exclude each other");
    if (options.files.empty())
        throw usage_error("no data file given");
    if (std::count(options.files.begin(), options.files.end(), "-") > 1)
        throw usage_error("standard input \"-\" given more than once");
    if (app.count("--plot") > 0 && options.plot.empty())
        throw usage_error("--plot needs a path");
    request.picture = !options.plot.empty();
    read_scan(app, texts, options);
    if (app.count("--plot-size") > 0)
        request.picture_size = picture_size(texts.plot_size, request.picture_size.dpi);
    if (app.count("--dpi") > 0)
        request.picture_size.dpi =
            static_cast<int>(bounded_count("--dpi", texts.dpi, 24, 2400));
    if ((app.count("--plot-size") > 0 || app.count("--dpi") > 0) && !request.picture)
        throw usage_error("--plot-size and --dpi size a picture: give --plot PATH");
    options.series = y_columns(app, texts.data);
    check_lags(app, options, texts.lag_to);
    return options;
}

std::vector<std::string> shard_files(const FitOptions& options)
{
    return shard_of(options, options.files);
}

std::vector<std::string> shard_of(const FitOptions& options, const std::vector<std::string>& list)
{
    std::vector<std::string> share;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (i % options.shard.n == options.shard.k - 1)
            share.push_back(list[i]);
    return share;
}

}  // namespace cli

std::string fit_usage()
{
    cli::FitOptions options;
    cli::OptionTexts texts;
    CLI::App app("", "tolvenar-fit");
    cli::describe(app);
    cli::declare_options(app, options, texts);
    return app.help();
}

}  // namespace tolvenar
