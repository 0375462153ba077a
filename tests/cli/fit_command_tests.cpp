// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit in process and as a process: reports, the JSON object against the engine, crops,
// refusals with their exit codes, number texts, and batches of files: each as alone, the table
// and the JSON Lines read back, shards, Ctrl-C and pictures.
#include "cli/arguments.h"
#include "cli/batch.h"
#include "fit_run.h"
#include "core/report/record_output.h"
#include "core/search/search.h"
#include "cli/refusals.h"
#include "core/job/fit_job.h"
#include "core/data/data_reader.h"
#include "core/model/engine_state.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

namespace tolvenar {
namespace {

using nlohmann::json;
using test::Outcome, test::fit;

json json_of(std::vector<std::string> args)
{
    args.insert(args.begin(), "--json");
    const Outcome run = fit(args);
    EXPECT_EQ(run.code, kExitSuccess) << run.err;
    return run.code == kExitSuccess ? json::parse(run.out) : json();
}

// A file's bytes; `gone` removes it once read.
std::string bytes_of(const std::string& path, bool gone = false)
{
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    if (gone)
        std::filesystem::remove(path);
    return bytes.str();
}

// The executable run by the shell, its streams read back.
Outcome fit_process(const std::string& args, const std::string& out_path = "")
{
    const std::string stem = ::testing::TempDir() + "tolvenar_fit_" + std::to_string(getpid());
    const std::string out = out_path.empty() ? stem + ".out" : out_path;
    const int status = std::system(("'" TOLVENAR_FIT_EXECUTABLE "' " + args + " >" + out +
                                    " 2>" + stem + ".err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            out_path.empty() ? bytes_of(out, true) : "", bytes_of(stem + ".err", true)};
}

const std::string kSource = TOLVENAR_SOURCE_DIR;
const std::string kStep = kSource + "/examples/step_ramp.csv";
std::string case_file(const std::string& name) { return kSource + "/tests/cli/data/" + name; }

// Pins the random stream, the arithmetic and the report text end to end, as a process.
TEST(FitCommand, GoldenSimpleRampOnTheStepExample)
{
    const Outcome run = fit_process("--runs 2 --trials 100 '" + kStep + "'");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "X1 = 0\nY1 = 4.29\nX2 = 102.32\nY2 = 4.29\nX3 = 218.21\nY3 = 11.34\n"
                       "X4 = 300\nY4 = 11.34\nR = 0.9838\nDuration of change = 115.89\n");
    // In process, each call starts from a fresh random source, as a new process does.
    EXPECT_EQ(fit({"--model=ramp", "--runs=2", "--trials=100", kStep}).out, run.out);
    // Any number of threads finds the same.
    const auto on = [](const std::string& threads) {
        return fit({"--constrain", "--json", "--threads", threads, kStep}).out;
    };
    EXPECT_EQ(on("1"), on("3"));
}

// Each family on its own example, with the default 10 runs of 1000 trials, free and then again
// inside the boxes (--constrain: Run pressed again, the same state and random stream going on,
// so the trials add up and the best of best can only improve): the text report and the JSON
// object's report show the family's break points and measure, and the JSON measures are the
// break points' before rounding.
TEST(FitCommand, ReportsEachFamilysLabels)
{
    struct Row { std::string model, file, report, constrained; };
    for (Row r : std::vector<Row>{
             {"Simple ramp", "step_ramp", "X1 = 0, Y1 = 3.98, X2 = 117.67, Y2 = 3.98, X3 = 192.17, "
              "Y3 = 11.75, X4 = 300, Y4 = 11.75, R = 0.9982, Duration of change = 74.5",
              "X1 = 0, Y1 = 4.12, X2 = 120.77, Y2 = 4.12, X3 = 183.41, Y3 = 11.76, X4 = 300, "
              "Y4 = 11.76, R = 0.9994, Duration of change = 62.64"},
             {"symmetric", "symmetric_event", "X1 = 0, Y1 = 11.99, X2 = 236.92, Y2 = 11.99, "
              "X3 = 299.46, Y3 = 19.04, X4 = 362.01, Y4 = 11.99, X5 = 600, Y5 = 11.99, R = 0.9854",
              "X1 = 0, Y1 = 12.04, X2 = 244.19, Y2 = 12.04, X3 = 299.76, Y3 = 20.13, X4 = 355.33, "
              "Y4 = 12.04, X5 = 600, Y5 = 12.04, R = 0.9851"},
             {"Asymmetric event", "asymmetric_event", "X1 = 0, Y1 = 3.43, X2 = 382.58, "
              "Y2 = 3.43, X3 = 463.33, Y3 = 8.4, X4 = 848.22, Y4 = 3.43, X5 = 1200, Y5 = 3.43, "
              "R = 0.9692, Symmetry index = 0.1734",
              "X1 = 0, Y1 = 3.55, X2 = 395.81, Y2 = 3.55, X3 = 473.48, Y3 = 9.18, X4 = 785.92, "
              "Y4 = 3.55, X5 = 1200, Y5 = 3.55, R = 0.9886, Symmetry index = 0.1991"},
             {"free4", "step_ramp", "X1 = 0, Y1 = 3.9, X2 = 106.87, Y2 = 3.67, X3 = 208.48, "
              "Y3 = 12.05, X4 = 297.61, Y4 = 11.95, X5 = 300, Y5 = 5.4, R = 0.9857",
              "X1 = 0, Y1 = 3.49, X2 = 71.04, Y2 = 4.9, X3 = 107.88, Y3 = 3.09, X4 = 182.86, "
              "Y4 = 11.06, X5 = 300, Y5 = 12.78, R = 0.9918"},
             {"Free 3 segments", "step_ramp", "X1 = 0, Y1 = 3.26, X2 = 116.74, Y2 = 4, "
              "X3 = 191.95, Y3 = 12.37, X4 = 300, Y4 = 12.84, R = 0.9967",
              "X1 = 0, Y1 = 4.04, X2 = 119.2, Y2 = 4.02, X3 = 178.36, Y3 = 11.81, X4 = 300, "
              "Y4 = 12.28, R = 0.9984"},
             {"duration", "plateau_event", "X1 = 0, Y1 = 0.43, X2 = 273.13, Y2 = 0.43, "
              "X3 = 396.09, Y3 = 14.3, X4 = 582.65, Y4 = 13.73, X5 = 743.02, Y5 = 0.43, "
              "X6 = 1000, Y6 = 0.43, R = 0.9765",
              "X1 = 0, Y1 = 0.63, X2 = 285.2, Y2 = 0.63, X3 = 344.48, Y3 = 15.59, X4 = 602.42, "
              "Y4 = 15.86, X5 = 735.62, Y5 = 0.63, X6 = 1000, Y6 = 0.63, R = 0.9905"}})
        for (json free; const bool constrain : {false, true}) {
            std::vector<std::string> args{"--model", r.model,
                                          kSource + "/examples/" + r.file + ".csv"};
            if (constrain)
                args.push_back("--constrain");
            const json object = json_of(args);
            std::string lines;
            for (const json& line : object["report"])
                lines += line.get<std::string>() + "\n";
            std::string report = constrain ? r.constrained : r.report;
            for (std::size_t at; (at = report.find(", ")) != std::string::npos;)
                report.replace(at, 2, "\n");
            EXPECT_EQ(lines, report + "\n") << r.model << constrain;
            EXPECT_EQ(fit(args).out, lines);
            EXPECT_EQ(object["trials_made"], constrain ? 20000 : 10000);
            EXPECT_FALSE(object.contains("searches"));  // plain searches: runs, trials, constrain
            if (constrain)
                EXPECT_LE(object["best"]["sq_dist"], free["best"]["sq_dist"]) << r.model;
            free = object;
            const auto x = [&](std::size_t k) { return object["best"]["x"][k - 1].get<float>(); };
            const auto exact = [](float value) { return json::parse(tolvenar::exact(value).dump()); };
            EXPECT_EQ(object["duration"],
                      object["model"] == "Simple ramp" ? exact(x(3) - x(2)) : json());
            EXPECT_EQ(object["symmetry_index"], object["model"] == "Asymmetric event"
                                                    ? exact((x(3) - x(2)) / (x(4) - x(2)))
                                                    : json());
        }
}

// The command gives what the engine gives for the same file, crop, family, runs and trials,
// bit for bit.
TEST(FitCommand, JsonHoldsTheEnginesNumbersExactly)
{
    const std::string path = kSource + "/examples/gauge_with_gaps.csv";
    const json object = json_of({"--model", "asymmetric", "--runs", "+3", "--trials", "200",
                                 "--from", "150", "--to", "260.5", path});
    EngineState state;
    state.data = import_data_file(path).series.table;
    extract_crop(state, 150.0f, 110.5f);
    measure_crop(state.data, 150.0f, 110.5f, state.CropMinY, state.CropMaxY,
                 [](float, float, float, float) {});
    forget_best_of_best(state);
    clear_manual_boxes(state);
    state.NodeCount = node_count_of(ModelFamily::AsymmetricEvent);
    RandomSource random;
    SearchObserver silent;
    const SearchRequest settings{ModelFamily::AsymmetricEvent, 0, 3, 200, 150.0f, 110.5f};
    ASSERT_EQ(SearchEngine().run(state, settings, random, silent).end, SearchEnd::Completed);

    // Each float as the shortest text that reads back to it; equal texts, equal floats.
    const auto exact = [](float value) { return json::parse(tolvenar::exact(value).dump()); };
    json x, y;
    for (std::size_t k = 1; k <= 6; ++k)
        x.push_back(exact(state.BestOfBestX[k])), y.push_back(exact(state.BestOfBestY[k]));
    EXPECT_EQ(object["best"], (json{{"x", x}, {"y", y}, {"r", exact(state.BestOfBestR)},
                                    {"sq_dist", exact(state.BestOfBestSqDist)}}));
    EXPECT_EQ(object["crop"], (json{{"start", state.CropStart}, {"count", state.CropCount},
                                    {"min_y", exact(state.CropMinY)},
                                    {"max_y", exact(state.CropMaxY)}}));
    EXPECT_EQ(object["model"], "Asymmetric event");
    EXPECT_EQ(object["trials_made"], 600);
    EXPECT_EQ(json({object["runs"], object["trials"]}), json({3, 200}));  // counts as numbers
}

// Hourly Julian days and the same hours from 0 fit alike: model x count from the crop's left
// edge, and the report and the JSON give data x with every digit. Unix seconds likewise.
TEST(FitCommand, SeriesFarFromZeroFitAsNearZero)
{
    const auto series = [](double x0, double step) {
        std::string rows = "t,flux\n";
        for (int i = 0; i < 1000; ++i) {
            const double ramp = std::clamp((i - 400) / 200.0, 0.0, 1.0);
            std::array<char, 32> x{};
            *std::to_chars(x.data(), x.data() + 31, x0 + i * step).ptr = '\0';
            rows += std::string(x.data()) + "," + std::to_string(10 + 10 * ramp +
                                                               0.3 * std::sin(37 * i)) + "\n";
        }
        return rows;
    };
    const std::vector<std::string> args{"--json", "--runs", "2", "--trials", "300", "-"};
    const json near = json::parse(fit(args, series(0, 1 / 24.0)).out);
    const json far = json::parse(fit(args, series(2460000, 1 / 24.0)).out);
    EXPECT_EQ(far["crop"]["origin"], 2460000);
    EXPECT_FALSE(near["crop"].contains("origin"));
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_EQ(static_cast<float>(far["best"]["x"][k].get<double>() - 2460000),
                  near["best"]["x"][k].get<float>()) << k;
    EXPECT_EQ(far["best"]["sq_dist"], near["best"]["sq_dist"]);
    EXPECT_EQ(far["report"][2], "X2 = 2460018.48");
    EXPECT_EQ(near["report"][2], "X2 = 18.48");
    const json seconds = json::parse(fit(args, series(1.7e9, 60)).out);
    EXPECT_EQ(seconds["report"][0], "X1 = 1700000000");
    EXPECT_GT(seconds["best"]["r"], 0.98);
}

// On step_ramp.csv (x = 0, 0.5, ..., 300 in rows 1..601) the crop holds the rows inside the
// edges; the y range runs from the first row right of the left edge.
TEST(FitCommand, FromAndToCropTheSeries)
{
    for (const auto& [bounds, crop] : std::vector<std::pair<std::vector<std::string>, json>>{
             {{"--from", "100", "--to", "110"}, {200, 21, 3.78, 4.32}},
             {{"--from", "100.2", "--to", "109.8"}, {201, 19, 3.78, 4.32}},
             {{"--from", "-5", "--to", "2"}, {0, 5, 4.02, 4.19}},
             {{"--from=250"}, {500, 101, 11.56, 12.15}},
             {{"--to", "1e3"}, {0, 601, 3.72, 12.15}}}) {
        std::vector<std::string> args{"--runs", "1", "--trials", "20", kStep};
        args.insert(args.begin(), bounds.begin(), bounds.end());
        const json got = json_of(args)["crop"];
        EXPECT_EQ((json{got["start"], got["count"], got["min_y"], got["max_y"]}), crop)
            << bounds[0];
    }
    // A title row and four data rows, the least the import takes, make a crop of four points.
    const json smallest = json_of({"--runs", "2", "--trials", "50", case_file("four_rows.csv")});
    EXPECT_EQ(smallest["crop"]["count"], 4);
}

// Every refusal prints nothing on stdout and one line on stderr: "tolvenar-fit: " and the
// reason (here its start).
TEST(FitCommand, RefusalsExitWithOneLineNamingTheReason)
{
    struct Row { std::vector<std::string> args; int code; std::string message; };
    constexpr int refused = kExitRefused, failed = kExitSearchFailed;
    const std::string text_x = case_file("text_x.csv"), text_y = case_file("text_y.csv");
    const std::string flat_y = case_file("flat_y.csv"), same_x = case_file("same_end_x.csv");
    const std::string pipe = ::testing::TempDir() + "pipe_" + std::to_string(getpid());
    mkfifo(pipe.c_str(), 0600);
    const std::vector<Row> rows{
        {{}, refused, "no data file given (see --help)"},
        {{"--fast", kStep}, refused, "The following argument was not expected: --fast (see"},
        {{"-x", kStep}, refused, "The following argument was not expected: -x"},
        {{kStep, "--runs"}, refused, "--runs: 1 required R missing"},
        {{"--json=yes", kStep}, refused, "json was given a disallowed flag override"},
        {{"--json", "--csv", kStep}, refused, "--json and --csv exclude each other"},
        {{"-", "-"}, refused, "standard input \"-\" given more than once"},
        {{"--shard", "3/2", kStep}, refused, "--shard needs K/N with 1 <= K <= N, not \"3/2\""},
        {{"--shard", "1/", kStep}, refused, "--shard needs K/N"},
        {{"--shard", "0/2", kStep}, refused, "--shard needs K/N with 1 <= K <= N, not \"0/2\""},
        {{"--shard", "1/18446744073709551616", kStep}, refused,
         "--shard 1/18446744073709551616: 18446744073709551616 does not fit in 64 bits"},
        {{pipe, kStep, pipe}, refused, "\"" + pipe + "\" and \"" + pipe + "\" are one stream"},
        {{"--plot", "fit.jpg", kStep}, refused, "--plot fit.jpg: the picture's name needs"},
        {{"--plot", "f.png", "--plot-size", "640", kStep}, refused,
         "--plot-size needs WIDTHxHEIGHT in pixels, each 64 to 20000 (1600x1000), not \"640\""},
        {{"--plot", "f.png", "--plot-size", "640x10", kStep}, refused, "--plot-size needs"},
        {{"--plot", "f.png", "--dpi", "20", kStep}, refused,
         "--dpi needs a whole number from 24 to 2400, not \"20\""},
        {{"--dpi", "200", kStep}, refused, "--plot-size and --dpi size a picture: give --plot"},
        {{"--model", "Ramp", kStep}, refused, "unknown model \"Ramp\""},
        {{"--model", "manual", kStep}, refused, "\"Manual constraint\" needs its boxes drawn"},
        {{"--from", "12abc", kStep}, refused,
         "--from needs a number or an ISO date, not \"12abc\""},
        {{"--to", "1e999", kStep}, refused, "--to 1e999 lies beyond the double-precision range"},
        {{"--runs", "1", "--", "--json"}, refused, "cannot open --json"},
        // The reader's refusals name the file; the import's faults are explained.
        {{case_file("nine_fields.csv")}, refused,
         case_file("nine_fields.csv") + ": not a data file: fewer than ten fields"},
        {{flat_y}, refused, flat_y + ": all y values are equal (2)"},
        {{same_x}, refused, same_x + ": the first and the last x are equal (5)"},
        {{text_x}, refused, text_x + ": line 7 (data row 6): x is the text \"BREAK\", not a"},
        {{text_y}, refused, text_y + ": line 3 (data row 2): y is the text \"---\", not a number"},
        {{"-"}, refused, "standard input: not a data file: fewer than ten fields"},
        {{"--from", "100", "--to", "100.0", kStep}, refused,
         "the crop window has zero width: --from 100 and --to 100.0 are equal"},
        {{"--from", "200", "--to", "100", kStep}, refused,
         "the crop window's right edge, --to 100, lies left of its left edge, --from 200"},
        {{"--from", "301", kStep}, refused, "the crop window's right edge, the last data x (300)"},
        {{"--from", "0", "--to", "1e-50", kStep}, refused,
         "the crop window from --from 0 to --to 1e-50 has zero width in single precision"},
        {{"--from", "400", "--to", "500", kStep}, refused,
         "cannot crop: no data row at or right of the left edge 400 (the last data x is 300)"},
        {{"--from", "1e39", "--to", "1e40", kStep}, refused,
         "the crop window's left edge, --from 1e39, lies beyond the single-precision range"},
        {{"--from", "-3e38", "--to", "3e38", kStep}, refused,
         "the crop window is wider than the single-precision range"},
        // Search faults, explained by the input or the limit behind them.
        {{"--runs", "1", "--trials", "0", kStep}, failed,
         "search stopped: invalid property value in convergence plot width (no trial made "
         "since the reset: --trials 0 reads as no trial)"},
        {{"--model", "asymmetric", "--runs", "1", "--trials", "0", kStep}, failed,
         "search stopped: overflow in report (no model found yet, so the symmetry index"},
        {{"--from", "100.1", "--to", "100.4", kStep}, refused,
         "the crop window from 100.1 to 100.4 holds no data point"},
        {{"--runs", "40000", kStep}, failed,
         "search stopped: overflow in integer conversion (--runs 40000 lies outside -32768"},
        {{"--runs", "2", "--trials", "3000000000", kStep}, failed,
         "search stopped: overflow in integer conversion (--trials 3000000000 lies outside the"},
        {{"--runs", "0", "--trials", "10", kStep}, failed, "no run made: --runs 0 reads as no run"},
        // Counts are whole decimal numbers, nothing a field's leading-number parse would read.
        {{"--runs", "abc", kStep}, refused, "--runs needs a whole number, not \"abc\" (see"},
        {{"--trials=12abc", kStep}, refused, "--trials needs a whole number, not \"12abc\""},
        {{"--runs", "2.5", kStep}, refused, "--runs needs a whole number, not \"2.5\""},
        {{"--trials", "12,5", kStep}, refused, "--trials needs a whole number, not \"12,5\""},
        {{"--runs=", kStep}, refused, "--runs needs a whole number, not \"\""},
        {{"--trials", "1e3", kStep}, refused, "--trials needs a whole number, not \"1e3\""},
        {{"--threads", "0", kStep}, refused, "--threads needs a whole number from 1 to 1024"},
        {{"--threads=+2", kStep}, refused, "--threads needs a whole number from 1 to 1024, not"},
        // The comparison's and the refinement's options.
        {{"--compare", "--model", "ramp", kStep}, refused, "--compare chooses the model itself"},
        {{"--alpha", "1", kStep}, refused, "--alpha needs a fraction between 0 and 1 (0.05"},
        {{"--alpha", "0", kStep}, refused, "--alpha needs a fraction between 0 and 1"},
        {{"--test-replicates", "-1", kStep}, refused, "--test-replicates needs a whole number from"},
        {{"--test-replicates", "1e3", kStep}, refused, "--test-replicates needs a whole number,"},
        {{"--bootstrap", "19", kStep}, refused, "--bootstrap needs a whole number from 20"},
        {{"--bootstrap", "2.5", kStep}, refused, "--bootstrap needs a whole number, not \"2.5\""},
        {{"--level", "1", kStep}, refused, "--level needs a fraction between 0 and 1 (0.9"},
        {{"--level", "0", kStep}, refused, "--level needs a fraction between 0 and 1"},
        {{"--level", "90%", kStep}, refused, "--level needs a number, not \"90%\""},
        {{"--seed", "-1", kStep}, refused, "--seed needs a whole number from 0 to 4294967295"},
        {{"--seed", "4294967296", kStep}, refused, "--seed needs a whole number from 0 to"},
        {{"--refine=1", kStep}, refused, "refine was given a disallowed flag override"},
        // The scan's options.
        {{"--min-size", "3", kStep}, refused, "--min-size steers --scan: give --scan too"},
        {{"--penalty", "3", kStep}, refused, "--penalty steers --scan: give --scan too"},
        {{"--max-events", "3", kStep}, refused, "--max-events steers --scan: give --scan too"},
        {{"--scan", "--compare", kStep}, refused, "--scan fits each event with --model: leave out"},
        {{"--scan", "--plot", "a.png", kStep}, refused, "--plot draws one fit a file: leave it out"},
        {{"--scan", "--penalty", "-1", kStep}, refused, "--penalty needs a number, 0 or more, not"},
        {{"--scan", "--penalty", "1e999", kStep}, refused, "--penalty needs a number, 0 or more"},
        {{"--scan", "--penalty", "nan", kStep}, refused, "--penalty needs a number, 0 or more"},
        {{"--scan", "--min-size", "0", kStep}, refused, "--min-size needs a whole number from 1"},
        {{"--scan", "--max-events", "-1", kStep}, refused, "--max-events needs a whole number from 0 to"},
        {{"--scan", "--from", "400", "--to", "500", kStep}, refused,
         "the crop window from 400 to 500 holds no data point"}};
    for (const Row& r : rows) {
        const Outcome run = fit(r.args);
        EXPECT_EQ(run.code, r.code) << r.message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.starts_with("tolvenar-fit: " + r.message)) << run.err;
    }
    std::filesystem::remove(pipe);
}

// --from and --to take a whole number, where a typed field would read "12abc" as 12; --runs and
// --trials a count of decimal digits.
TEST(FitCommand, BoundsAreWholeNumbersAndCountsDigits)
{
    struct Row { std::string text; bool number, count; };
    for (const Row& r : std::vector<Row>{
             {"12", true, true}, {"-3", true, true}, {"+7", true, true}, {"007", true, true},
             {" -1.5e+3\t", true, false}, {"+.5", true, false}, {"5.", true, false},
             {"7E2", true, false}, {" 5", true, false}, {"", false, false}, {".", false, false},
             {"-", false, false}, {"e5", false, false}, {"1e", false, false},
             {"1e+", false, false}, {"12abc", false, false}, {"1 2", false, false},
             {"0x10", false, false}, {"12,5", false, false}})
        EXPECT_EQ(std::pair(is_number_text(r.text), cli::is_whole_count(r.text)),
                  std::pair(r.number, r.count)) << r.text;
}

// A crop of any size takes every point: 100,000 rows, read from standard input as from a file.
TEST(FitCommand, LargeCropsTakeEveryPointAndStandardInputReads)
{
    std::string rows = "x,y\n";
    for (int i = 0; i < 100000; ++i)
        rows += std::to_string(i) + ',' + std::to_string(i % 7) + '\n';
    const Outcome run = fit({"--json", "--runs", "1", "--trials", "5", "-"}, rows);
    ASSERT_EQ(run.code, kExitSuccess) << run.err;
    EXPECT_EQ(json::parse(run.out)["crop"]["count"], 100000);
    const std::string file = ::testing::TempDir() + "large_" + std::to_string(getpid()) + ".csv";
    std::ofstream(file) << rows;
    EXPECT_EQ(fit({"--trials=5", "-"}, rows).out, fit({"--trials=5", file}).out);
    std::remove(file.c_str());
}

// The exit codes and streams a shell script sees (success: the golden report above); a report
// lost on its way out is no success.
TEST(FitCommand, TheExecutableTellsRefusalsSearchFaultsAndLostOutput)
{
    EXPECT_EQ(fit_process("--help").out, fit_usage());
    EXPECT_EQ(fit({"-h"}).out, fit_usage());
    EXPECT_TRUE(fit_process("--version").out.starts_with("tolvenar-fit "));
    const Outcome missing = fit_process("nofile.csv");
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err, "tolvenar-fit: cannot open nofile.csv: No such file or directory\n");
    EXPECT_EQ(fit_process("").err, "tolvenar-fit: no data file given (see --help)\n");
    EXPECT_EQ(fit_process("- /dev/stdin </dev/null").err,
              "tolvenar-fit: \"-\" and \"/dev/stdin\" are one stream, which can be read only "
              "once (see --help)\n");
    EXPECT_EQ(fit_process("--runs 1 --trials 0 '" + kStep + "'").code, 3);
    const Outcome full = fit_process("--runs 1 --trials 5 '" + kStep + "'", "/dev/full");
    EXPECT_EQ(full.code, 1);
    EXPECT_EQ(full.err, "tolvenar-fit: cannot write the output\n");
}

// An RFC 4180 reader: quoted fields hold commas, doubled quotes and line ends.
std::vector<std::vector<std::string>> csv_rows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            rows.back().back() += text[i++];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.back().emplace_back();
        else if (!quoted && c == '\n')
            rows.emplace_back(1);
        else if (quoted || c != '\r')
            rows.back().back() += c;
    }
    rows.pop_back();  // what follows the last line end
    return rows;
}

std::vector<std::string> joined(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The name in `key`, or its bytes in key_bytes where it is not UTF-8.
std::string name_in(const json& object, const std::string& key)
{
    if (!object.contains(key + "_bytes"))
        return object[key];
    const auto bytes = object[key + "_bytes"].get<std::vector<unsigned char>>();
    return std::string(bytes.begin(), bytes.end());
}

// Many files, unreadable and uncroppable ones among them, and names and fields that are not UTF-8
// (Latin-1, a character cut by the reason's limit): the others are fitted, each object is the
// one the file alone gives, the table holds the same values and the reasons, every text in them
// is UTF-8 (a name's bytes in "file_bytes"), the text names each file, and the exit status is
// the worst file's.
TEST(FitBatch, EachFileAsAloneInFileOrder)
{
    const std::string dir = ::testing::TempDir() + "batch_" + std::to_string(getpid()) + "/";
    const std::string odd = dir + "ramp, \"copy\".csv";  // quoted in CSV
    std::filesystem::create_directories(dir);
    for (const std::string& copy : {odd, dir + "b\xff.csv"})
        std::filesystem::copy_file(kStep, copy, std::filesystem::copy_options::overwrite_existing);
    const std::string rows_1_to_4 = "x,y\n1,1\n2,2\n3,3\n4,4\n5,";
    std::ofstream(dir + "latin.csv") << rows_1_to_4 << "\xe9t\xe9\n";
    std::ofstream(dir + "cut.csv") << rows_1_to_4 << std::string(39, 'a') << "\xc3\xa9\n";
    const std::vector<std::string> files{kStep, "nofile.csv", odd, case_file("flat_y.csv"),
                                         kSource + "/examples/symmetric_event.csv",
                                         case_file("four_rows.csv"),  // x 0..3: no crop
                                         dir + "b\xff.csv", dir + "latin.csv", dir + "cut.csv"};
    const std::vector<std::string> settings{"--model", "asymmetric", "--runs", "2",
                                            "--trials", "90", "--from", "100"};
    const Outcome csv = fit(joined(joined(settings, {"--csv"}), files));
    const Outcome lines = fit(joined(joined(settings, {"--json"}), files));
    const Outcome text = fit(joined(settings, files));
    for (const Outcome* run : {&csv, &lines, &text})
        EXPECT_EQ(run->code, kExitRefused);
    const auto rows = csv_rows(csv.out);
    ASSERT_EQ(rows.size(), files.size() + 1) << csv.out;
    EXPECT_NO_THROW(json(csv.out).dump());  // which throws on bytes that are not UTF-8
    std::string header;
    for (const std::string& name : rows[0])
        header += name + " ";
    EXPECT_EQ(header, "file model from to points gaps runs trials seed constrain version x1 x2 x3 x4 "
                      "x5 x6 y1 y2 y3 y4 y5 y6 r sq_dist duration symmetry_index status reason ");
    std::istringstream objects(lines.out);
    std::string want_text, want_err;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Outcome alone = fit(joined(joined(settings, {"--json"}), {files[i]}));
        std::string line;
        std::getline(objects, line);
        const json object = json::parse(line);
        EXPECT_EQ(object, json::parse(alone.out)) << files[i];
        EXPECT_EQ(name_in(object, "file"), files[i]);
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < rows[0].size(); ++c)
            row[rows[0][c]] = rows[i + 1].at(c);
        EXPECT_EQ(row["file"], valid_utf8(files[i]));
        EXPECT_EQ(row["status"], object["status"]);
        EXPECT_EQ(row["reason"], object.value("reason", ""));
        want_text += (i == 0 ? "==> " : "\n==> ") + files[i] + " <==\n";
        if (object["status"] == "fitted") {
            // Five break points and a symmetry index: no sixth, no duration.
            EXPECT_EQ(row["x2"] + " " + row["r"] + " " + row["points"] + " " + row["x6"] + " " +
                          row["duration"] + " " + row["symmetry_index"],
                      object["best"]["x"][1].dump() + " " + object["best"]["r"].dump() + " " +
                          object["points"].dump() + "   " + object["symmetry_index"].dump());
            want_text += fit(joined(settings, {files[i]})).out;
        } else {
            const std::string reason = object["reason"];
            EXPECT_EQ(valid_utf8(alone.err), "tolvenar-fit: " + reason + "\n");
            // With many files, a reason that does not name its file comes after the name.
            want_err += reason.find(files[i]) == std::string::npos
                            ? "tolvenar-fit: " + files[i] + ": " + reason + "\n"
                            : alone.err;
        }
    }
    EXPECT_EQ(rows[2][rows[0].size() - 2], "refused");
    EXPECT_TRUE(rows[4].back().starts_with(case_file("flat_y.csv") + ": all y values are equal"));
    EXPECT_EQ(text.out, want_text);
    EXPECT_EQ(text.err, want_err);
    EXPECT_EQ(lines.err, want_err);
    std::filesystem::remove_all(dir);
}

// The shares of a list, whatever its length, hold each file exactly once, in the given order.
TEST(FitBatch, ShardsCoverTheListOnce)
{
    for (const std::size_t count : {1, 2, 5, 7})
        for (const std::size_t n : {1, 2, 3, 8}) {
            std::vector<std::string> files;
            for (std::size_t i = 0; i < count; ++i)
                files.push_back(std::to_string(100 + i) + ".csv");
            std::vector<std::string> seen;
            for (std::size_t k = 1; k <= n; ++k) {
                const auto options = cli::parse_arguments(
                    joined({"--shard", std::to_string(k) + "/" + std::to_string(n)}, files));
                const std::vector<std::string> share = cli::shard_files(options);
                EXPECT_TRUE(std::is_sorted(share.begin(), share.end()));
                seen.insert(seen.end(), share.begin(), share.end());
            }
            std::sort(seen.begin(), seen.end());
            EXPECT_EQ(seen, files) << count << " files, " << n << " shares";
        }
}

// The executable with `args`, its standard output read back through a pipe. `signal` is sent
// once it has used `cpu` seconds of CPU time; `no_threads` leaves it no thread to start, by a
// process limit (which root is above: the child becomes nobody first). Exit status and output.
std::pair<int, std::string> run_child(std::vector<std::string> args, int signal = 0,
                                      double cpu = 0.0, bool no_threads = false,
                                      const std::string& program = TOLVENAR_FIT_EXECUTABLE)
{
    args.insert(args.begin(), "tolvenar-fit");
    std::vector<char*> argv, env{const_cast<char*>("ASAN_OPTIONS=detect_leaks=0")};
    for (std::string& arg : args)
        argv.push_back(arg.data());
    for (char** variable = environ; *variable; ++variable)  // the leak check needs a thread
        env.push_back(*variable);
    argv.push_back(nullptr);
    env.push_back(nullptr);
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test killed on a timeout leaves no program behind
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        const rlimit one{1, 1};
        if (no_threads && ((geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) ||
                           setrlimit(RLIMIT_NPROC, &one) != 0))
            _exit(126);
        execve(program.c_str(), argv.data(), env.data());
        _exit(127);
    }
    close(ends[1]);
    const auto cpu_used = [&] {  // seconds, all its threads together
        clockid_t clock{};
        timespec used{};
        return clock_getcpuclockid(child, &clock) == 0 && clock_gettime(clock, &used) == 0
                   ? static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9
                   : 0.0;
    };
    for (int wait = 0; signal != 0 && wait < 3000 && cpu_used() < cpu; ++wait)
        usleep(10000);
    kill(child, signal);  // signal 0 sends none
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}

// SIGINT or SIGTERM during a search of hours, or a bootstrap of a million replicates: the best
// so far, marked, what the bootstrap had done, and the status a shell expects.
TEST(FitBatch, SignalsStopEachStageWithTheBestSoFar)
{
    struct Row { int signal; std::vector<std::string> args; double cpu; int code; };
    const std::vector<std::string> search{"--runs", "30000", "--trials", "100000"};
    for (const Row& r : std::vector<Row>{
             {SIGINT, search, 0.6, 130}, {SIGTERM, search, 0.6, 143},
             {SIGINT, {"--runs", "1", "--trials", "50", "--bootstrap", "1000000"}, 1.0, 130}}) {
        const auto [code, out] = run_child(joined({"--json", kStep}, r.args), r.signal, r.cpu);
        ASSERT_EQ(code, r.code) << out;
        const json object = json::parse(out);
        EXPECT_EQ(object["status"], "interrupted");
        ASSERT_TRUE(object.contains("best")) << out;
        EXPECT_GT(object["best"]["r"], 0.0);
        ASSERT_EQ(object.contains("bootstrap"), r.args != search) << out;
        EXPECT_EQ(object["reason"], "interrupted after " + (r.args == search
            ? object["trials_made"].dump() + " trials"
            : object["bootstrap"]["replicates_done"].dump() + " of 1000000 bootstrap replicates"));
    }
}

// Where no thread can be started, the calling thread fits every file, its searches and its
// bootstrap, with the results that many threads give; where they can, workers fit at most twice
// their number of files ahead of the one taken, whatever the count.
TEST(FitBatch, ThreadsAsFewAsCanBeHadAndAFewResultsAhead)
{
    // The program and its file where nobody reaches them too: a build may lie in a private folder.
    namespace fs = std::filesystem;
    const fs::path open = ::testing::TempDir() + "threads_" + std::to_string(getpid());
    fs::create_directories(open);
    fs::permissions(open, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                              fs::perms::group_read | fs::perms::others_read);
    fs::copy_file(TOLVENAR_FIT_EXECUTABLE, open / "tolvenar-fit", fs::copy_options::overwrite_existing);
    fs::copy_file(case_file("four_rows.csv"), open / "four_rows.csv",
                  fs::copy_options::overwrite_existing);
    fs::permissions(open / "four_rows.csv", fs::perms::others_read, fs::perm_options::add);
    const std::string file = open / "four_rows.csv";
    const std::vector<std::string> args{"--json", "--threads", "64", "--runs", "1", "--trials",
                                        "300", "--bootstrap", "20", file, file};
    EXPECT_EQ(run_child(args, 0, 0.0, true, open / "tolvenar-fit"),
              std::pair(kExitSuccess, fit(args).out));
    fs::remove_all(open);
    std::atomic<std::size_t> taken = 0;
    std::string order;
    cli::run_in_order(
        300, 3,
        [&](std::size_t i) {
            EXPECT_LE(i, taken + 6);
            FitRecord record;
            record.file = std::to_string(i) + " ";
            return record;
        },
        [&](FitRecord&& result) { order += result.file, ++taken; }, [] {});
    EXPECT_TRUE(order.starts_with("0 1 2 3 ") && order.ends_with(" 298 299 ")) << order;
}

// A picture of each fit: one file's by its name's ending, many files' into a folder under the
// paths below the folder they share; none lost silently, none over an input.
TEST(FitBatch, PlotWritesPngOrSvgPerFile)
{
    const std::string folder = ::testing::TempDir() + "plots_" + std::to_string(getpid());
    for (const char* sub : {"/in/a", "/in/b"})
        std::filesystem::create_directories(folder + sub);
    const std::vector<std::string> settings{"--runs", "2", "--trials", "50", "--plot"};
    ASSERT_EQ(fit(joined(settings, {folder + "/one.svg", kStep})).code, kExitSuccess);
    const std::string svg = bytes_of(folder + "/one.svg");
    for (const char* drawn : {"stroke=\"#0000ff\"", "stroke=\"#ff0000\"", ">depth_m</text>"})
        EXPECT_NE(svg.find(drawn), std::string::npos) << drawn;
    ASSERT_EQ(fit(joined(settings, {folder + "/one.PNG", kStep})).code, kExitSuccess);
    EXPECT_TRUE(bytes_of(folder + "/one.PNG").starts_with("\x89PNG\r\n\x1a\n"));
    // A picture that cannot be written, in either format, or that would replace an input costs
    // the exit status, not the numbers.
    std::filesystem::create_symlink("/dev/full", folder + "/full.svg");
    std::filesystem::create_symlink("/dev/full", folder + "/full.png");
    std::filesystem::copy_file(kStep, folder + "/in/x.png");
    for (const auto& [picture, input, why] : std::vector<std::array<std::string, 3>>{
             {"/full.svg", kStep, "cannot write the picture " + folder + "/full.svg: No space"},
             {"/full.png", kStep, "cannot write the picture " + folder + "/full.png: No space"},
             {"/in/x.png", folder + "/in/x.png", "the picture " + folder + "/in/x.png would "
              "replace the input file " + folder + "/in/x.png"}}) {
        const Outcome lost = fit(joined(settings, {folder + picture, "--json", input}));
        EXPECT_EQ(lost.code, kExitOutputFailed);
        EXPECT_TRUE(lost.err.starts_with("tolvenar-fit: " + why)) << lost.err;
        EXPECT_EQ(json::parse(lost.out)["status"], "not written");
        EXPECT_TRUE(json::parse(lost.out).contains("best"));
    }
    EXPECT_EQ(bytes_of(folder + "/in/x.png"), bytes_of(kStep));
    std::vector<std::string> files;
    for (const char* name : {"a/x.csv", "b/x.csv", "x-2.csv", "a/x.csv", "b\xff.csv"}) {
        std::filesystem::copy_file(kStep, folder + "/in/" + name,
                                   std::filesystem::copy_options::skip_existing);
        files.push_back(folder + "/in/" + name);
    }
    const Outcome many = fit(joined(joined(settings, {folder + "/many", "--json"}), files));
    std::istringstream objects(many.out);
    for (const char* name : {"a/x", "b/x", "x-2", "a/x-2", "b\xff"}) {
        std::string line;
        std::getline(objects, line);
        const std::string path = folder + "/many/" + name + ".png";
        EXPECT_EQ(name_in(json::parse(line), "picture"), path);
        EXPECT_TRUE(bytes_of(path).starts_with("\x89PNG")) << name;
    }
    // A shard names its pictures as the whole list does, so that shards share none either.
    const Outcome share = fit(joined(joined(settings, {folder + "/s", "--shard=1/3", "--json"}),
                                     files));
    EXPECT_EQ(name_in(json::parse(share.out.substr(0, share.out.find('\n'))), "picture"),
              folder + "/s/a/x.png");
    std::filesystem::remove_all(folder);
}

// A picture for a paper: axes ticked at four or more nice numbers a side, or at dates for a file
// of dates, titled with the columns' titles, a legend, the band and the bars of the intervals,
// as SVG text and at the size and resolution asked.
TEST(FitBatch, PictureHasAxesTitlesAndLegend)
{
    const std::string folder = ::testing::TempDir() + "paper_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string dated = folder + "/dated.csv";
    {
        std::ofstream file(dated);
        file << "date,Level [cm]\n";
        for (int day = 0; day < 120; ++day)
            file << "2024-" << (day < 31 ? "01-" : day < 60 ? "02-" : day < 91 ? "03-" : "04-")
                 << std::setw(2) << std::setfill('0')
                 << 1 + day - (day < 31 ? 0 : day < 60 ? 31 : day < 91 ? 60 : 91) << ","
                 << (day < 50 ? 3.0 : day < 70 ? 3.0 + (day - 50) * 0.2 : 7.0) + (day % 3) * 0.1
                 << "\n";
    }
    const std::regex text_element("<text[^>]* y=\"([^\"]+)\"[^>]*>([^<]*)</text>");
    const std::regex date("\\d{4}-\\d{2}-\\d{2}");
    const std::regex rect("<rect x=\"[^\"]+\" y=\"([^\"]+)\" width=\"[^\"]+\" height=\"([^\"]+)\"");
    for (const auto& [file, x_title, y_title, dates] :
         std::vector<std::tuple<std::string, std::string, std::string, bool>>{
             {kStep, "depth_m", "temperature_C", false}, {dated, "date", "Level [cm]", true}}) {
        const std::string svg = folder + "/fit.svg";
        ASSERT_EQ(fit({"--runs", "2", "--trials", "50", "--bootstrap", "20", "--plot", svg,
                       "--plot-size", "1600x1000", "--dpi", "200", file}).code, kExitSuccess);
        const std::string picture = bytes_of(svg);
        EXPECT_NE(picture.find("viewBox=\"0 0 1600 1000\""), std::string::npos);
        EXPECT_NE(picture.find("width=\"203.2mm\""), std::string::npos);  // 8 inches at 200 dpi
        std::map<std::string, int> at_height;  // the x labels share their height, the y's not
        std::map<std::string, double> texts;  // each text's baseline
        std::size_t date_labels = 0;
        double title_y = 0.0, date_y = 0.0;  // the x title's and a date label's baselines
        for (auto it = std::sregex_iterator(picture.begin(), picture.end(), text_element);
             it != std::sregex_iterator(); ++it) {
            const std::string label = (*it)[2];
            texts[label] = std::stod((*it)[1]);
            title_y = label == x_title ? std::stod((*it)[1]) : title_y;
            if (std::regex_match(label, date))
                ++date_labels, date_y = std::stod((*it)[1]);
            else if (!label.empty() && std::isdigit(static_cast<unsigned char>(label.back())))
                ++at_height[(*it)[1]];
        }
        for (const std::string& shown :
             {x_title, y_title, std::string("Data"), std::string("Best of best"),
              std::string("Refined"), std::string("90 % band")})
            EXPECT_TRUE(texts.contains(shown)) << shown;
        std::vector<double> box;  // y and height of each rectangle: the page, the frame, the legend
        for (auto it = std::sregex_iterator(picture.begin(), picture.end(), rect);
             it != std::sregex_iterator(); ++it)
            box.insert(box.end(), {std::stod((*it)[1]), std::stod((*it)[2])});
        for (const char* entry : {"Data", "90 % band"})  // on the legend's white box
            EXPECT_TRUE(box.size() >= 6 && texts[entry] > box[4] && texts[entry] < box[4] + box[5]);
        ASSERT_FALSE(at_height.empty()) << file;
        const auto x_row = std::max_element(at_height.begin(), at_height.end(),
                                            [](auto& a, auto& b) { return a.second < b.second; });
        const std::size_t x_labels = dates ? date_labels : x_row->second;
        const std::size_t y_labels = dates ? at_height.size() : at_height.size() - 1;
        // The x labels end above the x title's line: their baselines a 9-point line (25
        // pixels at 200 dpi) or more apart.
        EXPECT_GE(title_y - (dates ? date_y : std::stod(x_row->first)), 25.0) << file;
        EXPECT_GE(x_labels, 4u) << file;
        EXPECT_GE(y_labels, 4u) << file;
        EXPECT_EQ(date_labels > 0, dates) << file;
        // The band (see-through orange) and the bars (green) are drawn.
        EXPECT_NE(picture.find("fill=\"#ffa500\""), std::string::npos);
        EXPECT_NE(picture.find("stroke=\"#008000\""), std::string::npos);
    }
    const std::string png = folder + "/fit.png";
    ASSERT_EQ(fit({"--runs", "2", "--trials", "50", "--plot", png, "--plot-size", "1600x1000",
                   kStep}).code, kExitSuccess);
    EXPECT_EQ(bytes_of(png).substr(16, 8), std::string("\0\0\x06\x40\0\0\x03\xe8", 8));  // IHDR
    std::filesystem::remove_all(folder);
    FitRequest request;  // the legend: a stroke a line, a box an area
    request.searches = {{"2", "50"}};
    request.refine = request.picture = true;
    request.bootstrap = 20;
    request.from = Edge{100.0, "--from 100"};  // the data drawn up to a row beyond the crop
    const FitRecord record = fit_series(import_data_text(bytes_of(kStep)), request, kStep, {});
    for (const auto& [x, y] : record.picture->lines.front().points)
        EXPECT_GE(x, -0.5) << y;
    std::string areas;
    for (const plot::LegendEntry& entry : record.picture->legend)
        areas += entry.text + (entry.area ? " []|" : " -|");
    EXPECT_EQ(areas,
              "Data -|Best of best -|Refined -|90 % band []|90 % interval of a break point -|");
    const auto& band = record.picture->shades.at(0).outline;  // the band's x there and back
    for (std::size_t i = 0; i < band.size(); ++i)
        EXPECT_EQ(band[i].first, band[band.size() - 1 - i].first) << i;
}

// The shortest text that reads back to the float; every finite float, whatever its bits.
TEST(ResultOutput, NumbersReadBackToTheSameFloat)
{
    const auto text = [](auto value) { return exact(value).dump(); };
    EXPECT_EQ(text(0.1f) + " " + text(-9999.0f) + " " + text(1e20f) + " " + text(2460018.5),
              "0.1 -9999 1e+20 2460018.5");
    EXPECT_EQ(text(INFINITY) + text(NAN), "nullnull");  // JSON holds neither
    std::mt19937 bits(7);
    for (int i = 0; i < 20000; ++i) {
        const float value = std::bit_cast<float>(static_cast<std::uint32_t>(bits()));
        if (!std::isfinite(value))
            continue;
        const std::string text = exact(value).dump();
        ASSERT_TRUE(json::parse(text).is_number()) << text;
        float back = 0.0f;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(value)) << text;
    }
}

// A text cell that a spreadsheet would take for a formula reads as text: a single quote before
// it, and before one that starts with a quote, so that dropping one gives the text back.
TEST(ResultOutput, CsvCellsThatLookLikeFormulasReadAsText)
{
    const std::vector<std::pair<std::string, std::string>> cells{
        {"=1+2.csv", "'=1+2.csv"}, {"+x.csv", "'+x.csv"}, {"-x.csv", "'-x.csv"},
        {"@x.csv", "'@x.csv"},     {"\tx.csv", "'\tx.csv"}, {"'x.csv", "''x.csv"},
        {"-5", "-5"},             {"x=1.csv", "x=1.csv"}};
    std::vector<std::string> files{"--csv", "--"};
    for (const auto& cell : cells)
        files.push_back(cell.first);
    const auto rows = csv_rows(fit(files).out);
    ASSERT_EQ(rows.size(), cells.size() + 1);
    for (std::size_t i = 0; i < cells.size(); ++i)
        EXPECT_EQ(rows[i + 1][0], cells[i].second) << cells[i].first;
}

}  // namespace
}  // namespace tolvenar
