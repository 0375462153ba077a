// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit in process: the report per family, the JSON object against the engine, the
// second constrained search, crops, and every refusal as one line with its exit code.
#include "cli/fit_command.h"
#include "cli/json_text.h"
#include "core/data/data_reader.h"
#include "core/model/boxes.h"
#include "core/runtime/numbers.h"
#include "core/search/search.h"
#include "core/window/crop.h"
#include "json_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tolvenar {
namespace {

using test::JsonReader;
using test::JsonValue;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

Outcome fit(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = run_fit_command(args, out, err);
    return {code, out.str(), err.str()};
}

std::string example(const std::string& name)
{
    return std::string(TOLVENAR_SOURCE_DIR) + "/examples/" + name;
}

std::string case_file(const std::string& name)
{
    return std::string(TOLVENAR_SOURCE_DIR) + "/tests/cli/data/" + name;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

float float_of(const JsonValue& number)
{
    EXPECT_EQ(number.kind, JsonValue::Kind::Number);
    float value = 0.0f;
    const auto result =
        std::from_chars(number.text.data(), number.text.data() + number.text.size(), value);
    EXPECT_EQ(result.ptr, number.text.data() + number.text.size()) << number.text;
    return value;
}

// The (x, y) rows of an example file whose lines are a title and plain "x,y" pairs.
std::vector<std::pair<double, double>> plain_rows(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<std::pair<double, double>> rows;
    while (std::getline(in, line)) {
        const auto comma = line.find(',');
        rows.emplace_back(std::stod(line.substr(0, comma)), std::stod(line.substr(comma + 1)));
    }
    return rows;
}

// Pins the random stream, the arithmetic and the report text end to end.
TEST(FitCommand, GoldenSimpleRampOnTheStepExample)
{
    const Outcome run = fit({"--runs", "2", "--trials", "100", example("step_ramp.csv")});
    ASSERT_EQ(run.code, kExitSuccess) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "X1 = 0\n"
              "Y1 = 4.29\n"
              "X2 = 102.32\n"
              "Y2 = 4.29\n"
              "X3 = 218.21\n"
              "Y3 = 11.34\n"
              "X4 = 300\n"
              "Y4 = 11.34\n"
              "R = 0.9838\n"
              "Duration of change = 115.89\n");
    // A second call starts from a fresh random source, as a new process does.
    EXPECT_EQ(fit({"--runs=2", "--trials=100", example("step_ramp.csv")}).out, run.out);
}

struct FamilyCase {
    std::string model;
    std::string file;
    int break_points;     // X1..Xn and Y1..Yn shown
    std::string measure;  // the Label6 caption prefix shown, "" when disabled
    float least_r;        // the search finds the event in its own example
};

void PrintTo(const FamilyCase& c, std::ostream* os)
{
    *os << c.model << " on " << c.file;
}

class FamilyReport : public ::testing::TestWithParam<FamilyCase> {};

// The text report and the JSON object of one search agree label by label with the best of
// best, and each family shows exactly its break points and measure.
TEST_P(FamilyReport, ShowsTheFamilysLabelsFromTheBestOfBest)
{
    const FamilyCase& c = GetParam();
    const std::vector<std::string> args{"--model", c.model, example(c.file)};
    const Outcome text = fit(args);
    ASSERT_EQ(text.code, kExitSuccess) << text.err;
    std::vector<std::string> json_args = args;
    json_args.insert(json_args.begin(), "--json");
    const Outcome json = fit(json_args);
    ASSERT_EQ(json.code, kExitSuccess) << json.err;
    const JsonValue object = JsonReader::parse(json.out);

    const std::vector<std::string> lines = lines_of(text.out);
    ASSERT_EQ(object["report"].items.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(object["report"][i].text, lines[i]);

    std::vector<std::string> expected;
    std::vector<float> x(7);
    for (int k = 1; k <= c.break_points; ++k) {
        const auto at = static_cast<std::size_t>(k - 1);
        x[static_cast<std::size_t>(k)] = float_of(object["best"]["x"][at]);
        const float y = float_of(object["best"]["y"][at]);
        expected.push_back("X" + std::to_string(k) + " = " + rounded_text(x[k], 2));
        expected.push_back("Y" + std::to_string(k) + " = " + rounded_text(y, 2));
    }
    const float r = float_of(object["best"]["r"]);
    expected.push_back("R = " + rounded_text(r, 4));
    if (c.measure == "Symmetry index")
        expected.push_back("Symmetry index = " + rounded_text((x[3] - x[2]) / (x[4] - x[2]), 4));
    else if (c.measure == "Duration of change")
        expected.push_back("Duration of change = " + rounded_text(x[3] - x[2], 2));
    EXPECT_EQ(lines, expected);

    EXPECT_GE(r, c.least_r);
    const auto rows = plain_rows(example(c.file));
    EXPECT_EQ(x[1], static_cast<float>(rows.front().first));
    EXPECT_EQ(x[static_cast<std::size_t>(c.break_points)], static_cast<float>(rows.back().first));
    EXPECT_TRUE(std::is_sorted(x.begin() + 1, x.begin() + 1 + c.break_points));
    EXPECT_EQ(object["model"].text, c.model);
    EXPECT_EQ(object["trials"].text, "10000");
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FamilyReport,
    ::testing::Values(
        FamilyCase{"Simple ramp", "step_ramp.csv", 4, "Duration of change", 0.99f},
        FamilyCase{"Symmetric event", "symmetric_event.csv", 5, "", 0.98f},
        FamilyCase{"Asymmetric event", "asymmetric_event.csv", 5, "Symmetry index", 0.95f},
        FamilyCase{"Free 4 segments", "step_ramp.csv", 5, "", 0.98f},
        FamilyCase{"Free 3 segments", "step_ramp.csv", 4, "", 0.99f},
        FamilyCase{"Event with duration", "plateau_event.csv", 6, "", 0.95f}),
    [](const auto& info) {
        std::string name = info.param.model;
        std::erase(name, ' ');
        return name;
    });

TEST(FitCommand, ShortModelNamesChooseTheSameFamilies)
{
    for (const auto& [caption, short_name] :
         std::vector<std::pair<std::string, std::string>>{{"Symmetric event", "symmetric"},
                                                          {"Event with duration", "duration"}}) {
        const std::vector<std::string> common{"--runs", "2", "--trials", "50",
                                              example("symmetric_event.csv")};
        std::vector<std::string> by_caption{"--model", caption};
        std::vector<std::string> by_short{"--model=" + short_name};
        by_caption.insert(by_caption.end(), common.begin(), common.end());
        by_short.insert(by_short.end(), common.begin(), common.end());
        EXPECT_EQ(fit(by_caption).out, fit(by_short).out) << caption;
    }
}

// The command gives what the engine gives for the same file, crop, family, runs and trials,
// bit for bit, and writes each float as the shortest text that reads back to it.
TEST(FitCommand, JsonHoldsTheEnginesNumbersExactly)
{
    const std::string path = example("gauge_with_gaps.csv");
    const Outcome run = fit({"--json", "--model", "asymmetric", "--runs", "3", "--trials", "200",
                             "--from", "150", "--to", "260.5", path});
    ASSERT_EQ(run.code, kExitSuccess) << run.err;
    const JsonValue object = JsonReader::parse(run.out);
    EXPECT_EQ(object.members.size(), 5u);
    EXPECT_EQ(object["crop"].members.size(), 4u);
    EXPECT_EQ(object["best"].members.size(), 4u);

    EngineState state;
    state.data = import_data_file(path).series.table;
    const float left = 150.0f;
    const float width = 110.5f;
    crop_without_drawing(state, left, width);
    forget_best_of_best(state);
    clear_manual_boxes(state);
    state.NodeCount = node_count_of(ModelFamily::AsymmetricEvent);
    RandomSource random;
    SearchObserver silent;
    SearchEngine engine;
    const SearchSettings settings{ModelFamily::AsymmetricEvent, 0, "3", "200", left, width};
    ASSERT_EQ(engine.run(state, settings, random, silent).end, SearchEnd::Completed);

    const auto same = [](const JsonValue& number, float value) {
        EXPECT_EQ(float_of(number), value) << number.text;
        EXPECT_EQ(number.text, json_number(value));
    };
    EXPECT_EQ(object["crop"]["start"].text, std::to_string(state.CropStart));
    EXPECT_EQ(object["crop"]["count"].text, std::to_string(state.CropCount));
    same(object["crop"]["min_y"], state.CropMinY);
    same(object["crop"]["max_y"], state.CropMaxY);
    ASSERT_EQ(object["best"]["x"].items.size(), 6u);
    ASSERT_EQ(object["best"]["y"].items.size(), 6u);
    for (std::size_t k = 1; k <= 6; ++k) {
        same(object["best"]["x"][k - 1], state.BestOfBestX[k]);
        same(object["best"]["y"][k - 1], state.BestOfBestY[k]);
    }
    same(object["best"]["r"], state.BestOfBestR);
    same(object["best"]["sq_dist"], state.BestOfBestSqDist);
    EXPECT_EQ(object["trials"].text, "600");
}

// --constrain presses Run again with "Constrain" ticked: the same state and random stream go
// on, TrialCount continues and the best of best can only improve.
TEST(FitCommand, ConstrainSearchesAgainInsideTheBoxes)
{
    const std::vector<std::string> args{"--json", "--model", "asymmetric", "--runs", "3",
                                        "--trials", "200", example("asymmetric_event.csv")};
    std::vector<std::string> constrained = args;
    constrained.insert(constrained.begin(), "--constrain");
    const Outcome free_run = fit(args);
    const Outcome second = fit(constrained);
    ASSERT_EQ(free_run.code, kExitSuccess) << free_run.err;
    ASSERT_EQ(second.code, kExitSuccess) << second.err;
    const JsonValue a = JsonReader::parse(free_run.out);
    const JsonValue b = JsonReader::parse(second.out);
    EXPECT_EQ(a["trials"].text, "600");
    EXPECT_EQ(b["trials"].text, "1200");
    EXPECT_LT(float_of(b["best"]["sq_dist"]), float_of(a["best"]["sq_dist"]));
    EXPECT_GT(float_of(b["best"]["r"]), float_of(a["best"]["r"]));
}

struct CropCase {
    std::vector<std::string> bounds;
    int start;           // CropStart
    int count;           // CropCount
    double measured_lo;  // min_y and max_y cover the rows with measured_lo < x <= measured_hi
    double measured_hi;
};

// On step_ramp.csv (x = 0, 0.5, ..., 300 in rows 1..601): the cropped rows are those inside
// the edges, inclusive; the measured y range runs from the first row right of the left edge
// to the first row at or right of the right edge.
TEST(FitCommand, FromAndToCropTheSeries)
{
    const std::string path = example("step_ramp.csv");
    const auto rows = plain_rows(path);
    for (const CropCase& c : std::vector<CropCase>{
             {{"--from", "100", "--to", "110"}, 200, 21, 100.0, 110.0},
             {{"--from", "100.2", "--to", "109.8"}, 201, 19, 100.2, 110.0},
             {{"--from", "-5", "--to", "2"}, 0, 5, 0.0, 2.0},
             {{"--from=250"}, 500, 101, 250.0, 300.0},
             {{"--to", "1e3"}, 0, 601, 0.0, 300.0},
         }) {
        std::vector<std::string> args{"--json", "--runs", "1", "--trials", "20", path};
        args.insert(args.begin(), c.bounds.begin(), c.bounds.end());
        const Outcome run = fit(args);
        ASSERT_EQ(run.code, kExitSuccess) << run.err;
        const JsonValue object = JsonReader::parse(run.out);
        float lo = 999999.0f;
        float hi = -999999.0f;
        for (const auto& [x, y] : rows) {
            if (x > c.measured_lo && x <= c.measured_hi) {
                lo = std::min(lo, static_cast<float>(y));
                hi = std::max(hi, static_cast<float>(y));
            }
        }
        EXPECT_EQ(object["crop"]["start"].text, std::to_string(c.start)) << c.bounds[0];
        EXPECT_EQ(object["crop"]["count"].text, std::to_string(c.count)) << c.bounds[0];
        EXPECT_EQ(float_of(object["crop"]["min_y"]), lo) << c.bounds[0];
        EXPECT_EQ(float_of(object["crop"]["max_y"]), hi) << c.bounds[0];
    }
}

// A title row and four data rows, the least the import takes, make a crop of four points.
TEST(FitCommand, FitsTheSmallestDataFile)
{
    const Outcome run =
        fit({"--json", "--runs", "2", "--trials", "50", case_file("four_rows.csv")});
    ASSERT_EQ(run.code, kExitSuccess) << run.err;
    const JsonValue object = JsonReader::parse(run.out);
    EXPECT_EQ(object["crop"]["count"].text, "4");
    EXPECT_EQ(object["report"].items.size(), 10u);
}

struct RefusalCase {
    std::string name;  // the test's name
    std::vector<std::string> args;
    int code;
    std::string message;  // the line on stderr after "tolvenar-fit: ", or its start
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string refusal_name(const ::testing::TestParamInfo<RefusalCase>& info)
{
    return info.param.name;
}

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

// Every refusal prints nothing on stdout and one line naming the reason on stderr.
TEST_P(Refusal, ExitsWithOneLineNamingTheReason)
{
    const RefusalCase& c = GetParam();
    const Outcome run = fit(c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.out, "");
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
    EXPECT_TRUE(run.err.starts_with("tolvenar-fit: " + c.message)) << run.err;
}

const std::string kStep = example("step_ramp.csv");

INSTANTIATE_TEST_SUITE_P(
    Usage, Refusal,
    ::testing::Values(
        RefusalCase{"NoFile", {}, kExitRefused, "no data file given (see --help)"},
        RefusalCase{"TwoFiles", {"a.csv", "b.csv"}, kExitRefused,
                    "more than one data file given"},
        RefusalCase{"UnknownOption", {"--fast", kStep}, kExitRefused,
                    "unknown option --fast (see --help)"},
        RefusalCase{"UnknownShortOption", {"-x", kStep}, kExitRefused, "unknown option -x"},
        RefusalCase{"MissingValue", {kStep, "--runs"}, kExitRefused, "option --runs needs a value"},
        RefusalCase{"FlagWithValue", {"--json=yes", kStep}, kExitRefused,
                    "option --json takes no value"},
        RefusalCase{"UnknownModel", {"--model", "Ramp", kStep}, kExitRefused,
                    "unknown model \"Ramp\""},
        RefusalCase{"ManualShortName", {"--model", "manual", kStep}, kExitRefused,
                    "\"Manual constraint\" needs its boxes drawn with the mouse"},
        RefusalCase{"ManualCaption", {"--model", "Manual constraint", kStep}, kExitRefused,
                    "\"Manual constraint\" needs"},
        RefusalCase{"FromNotANumber", {"--from", "12abc", kStep}, kExitRefused,
                    "--from needs a number, not \"12abc\""},
        RefusalCase{"ToBeyondDouble", {"--to", "1e999", kStep}, kExitRefused,
                    "--to 1e999 lies beyond the double-precision range"}),
    refusal_name);

INSTANTIATE_TEST_SUITE_P(
    Files, Refusal,
    ::testing::Values(
        RefusalCase{"MissingFile", {case_file("missing.csv")}, kExitRefused, "cannot open "},
        RefusalCase{"NineFields", {case_file("nine_fields.csv")}, kExitRefused,
                    case_file("nine_fields.csv") + ": not a data file: fewer than ten fields"},
        RefusalCase{"OddFieldCount", {case_file("odd_fields.csv")}, kExitRefused,
                    case_file("odd_fields.csv") + ": the file ends inside a pair"},
        RefusalCase{"FieldCheck", {case_file("field_check.csv")}, kExitRefused,
                    case_file("field_check.csv") + ": not a data file: fields 4, 7 and 10"},
        RefusalCase{"AllYEqual", {case_file("flat_y.csv")}, kExitRefused,
                    case_file("flat_y.csv") + ": all y values are equal (2)"},
        RefusalCase{"FirstAndLastXEqual", {case_file("same_end_x.csv")}, kExitRefused,
                    case_file("same_end_x.csv") + ": the first and the last x are equal (5)"},
        RefusalCase{"TextX", {case_file("text_x.csv")}, kExitRefused,
                    case_file("text_x.csv") +
                        ": data row 6 holds the text \"BREAK\" where a number is needed"},
        RefusalCase{"TextY", {case_file("text_y.csv")}, kExitRefused,
                    case_file("text_y.csv") + ": a y value is text where a number is needed"}),
    refusal_name);

INSTANTIATE_TEST_SUITE_P(
    Crops, Refusal,
    ::testing::Values(
        RefusalCase{"ZeroWidth", {"--from", "100", "--to", "100.0", kStep}, kExitRefused,
                    "the crop window has zero width: --from 100 and --to 100.0 are equal"},
        RefusalCase{"ToLeftOfFrom", {"--from", "200", "--to", "100", kStep}, kExitRefused,
                    "the crop window's right edge, --to 100, lies left of its left edge, "
                    "--from 200"},
        RefusalCase{"FromRightOfTheData", {"--from", "301", kStep}, kExitRefused,
                    "the crop window's right edge, the last data x (300), lies left"},
        RefusalCase{"ZeroSingleWidth", {"--from", "0", "--to", "1e-50", kStep}, kExitRefused,
                    "the crop window from --from 0 to --to 1e-50 has zero width in single "
                    "precision"},
        RefusalCase{"BeyondTheData", {"--from", "400", "--to", "500", kStep}, kExitRefused,
                    "cannot crop: no data row at or right of the left edge 400 (the last data "
                    "x is 300)"},
        RefusalCase{"LeftBeyondSingle", {"--from", "1e39", "--to", "1e40", kStep}, kExitRefused,
                    "the crop window's left edge, --from 1e39, lies beyond the single-precision "
                    "range"}),
    refusal_name);

INSTANTIATE_TEST_SUITE_P(
    Searches, Refusal,
    ::testing::Values(
        // Right after the reset no trial has set the convergence plot's width.
        RefusalCase{"NoTrialAfterReset", {"--runs", "1", "--trials", "0", kStep}, kExitSearchFailed,
                    "search stopped: invalid property value in convergence plot width (no "
                    "trial made since the reset"},
        RefusalCase{"AsymmetricWithoutModel",
                    {"--model", "asymmetric", "--runs", "1", "--trials", "0", kStep},
                    kExitSearchFailed,
                    "search stopped: overflow in report (no model found yet, so the symmetry "
                    "index divides by X4 - X2 = 0)"},
        RefusalCase{"EmptyCrop", {"--from", "100.1", "--to", "100.4", kStep}, kExitSearchFailed,
                    "search stopped: overflow in GetR (the crop window holds no data point)"},
        RefusalCase{"RunsBeyond16Bits", {"--runs", "40000", kStep}, kExitSearchFailed,
                    "search stopped: overflow in integer conversion (--runs 40000 lies outside"},
        RefusalCase{"TrialsBeyond32Bits", {"--trials", "3e9", kStep}, kExitSearchFailed,
                    "search stopped: overflow in integer conversion (--trials 3e9 lies outside"},
        RefusalCase{"NoRun", {"--runs", "none", kStep}, kExitSearchFailed,
                    "no run made: --runs none reads as no run"},
        // Squared distances of about 5e8: no candidate beats a run's start value of 1e8.
        RefusalCase{"NoModel", {"--runs", "2", "--trials", "50", case_file("zigzag.csv")},
                    kExitSearchFailed, "search found no model"}),
    refusal_name);

// More than 32767 rows in the window: the crop refuses them, a narrower window takes them.
TEST(FitCommand, CropOfMoreThan32767PointsIsRefused)
{
    const auto path = std::filesystem::path(::testing::TempDir()) / "tolvenar_fit_long.csv";
    {
        std::ofstream file(path);
        file << "x,y\n";
        for (int i = 0; i < 33000; ++i)
            file << i << ',' << (i % 7) << '\n';
    }
    const Outcome whole = fit({"--runs", "1", "--trials", "5", path.string()});
    EXPECT_EQ(whole.code, kExitRefused);
    EXPECT_EQ(whole.err, "tolvenar-fit: cannot crop: more than 32767 points in the crop window "
                         "(33000)\n");
    const Outcome part =
        fit({"--json", "--runs", "1", "--trials", "5", "--to", "32766", path.string()});
    ASSERT_EQ(part.code, kExitSuccess) << part.err;
    EXPECT_EQ(JsonReader::parse(part.out)["crop"]["count"].text, "32767");
    std::filesystem::remove(path);
}

TEST(FitCommand, HelpAndVersionGoToStdout)
{
    for (const std::string flag : {"--help", "-h"}) {
        const Outcome help = fit({flag});
        EXPECT_EQ(help.code, kExitSuccess);
        EXPECT_EQ(help.out, fit_usage());
        EXPECT_EQ(help.err, "");
    }
    EXPECT_TRUE(fit_usage().starts_with("Usage: tolvenar-fit "));
    const Outcome version = fit({"--version"});
    EXPECT_EQ(version.code, kExitSuccess);
    EXPECT_TRUE(version.out.starts_with("tolvenar-fit ")) << version.out;
}

TEST(FitCommand, FileNamesAfterDoubleDashAreNotOptions)
{
    const Outcome run = fit({"--runs", "1", "--trials", "5", "--", "--json"});
    EXPECT_EQ(run.code, kExitRefused);
    EXPECT_EQ(run.err.rfind("tolvenar-fit: cannot open --json", 0), 0u) << run.err;
}

// A report lost on its way out is no success.
TEST(FitCommand, UnwritableOutputFails)
{
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    std::ostringstream err;
    const std::vector<std::string> args{"--runs", "1", "--trials", "5", kStep};
    EXPECT_EQ(run_fit_command(args, out, err), kExitOutputFailed);
    EXPECT_EQ(err.str(), "tolvenar-fit: cannot write the output\n");
}

}  // namespace
}  // namespace tolvenar
