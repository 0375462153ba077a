// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit on data as scientists keep it: one series written in every form the reader takes
// fits as its plain two-column file does; gaps, dates and downward files come back in the
// outputs; crops keep every row they hold.
#include "fit_run.h"
#include "core/runtime/numbers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace tolvenar {
namespace {

using nlohmann::json;
using FitRun = test::Outcome;

// tolvenar-fit over `text` written as a file, with `args` before the file's name.
FitRun fit_text(const std::string& text, std::vector<std::string> args)
{
    const std::string path = ::testing::TempDir() + "tolvenar_forms_" + std::to_string(getpid());
    std::ofstream(path, std::ios::binary) << text;
    args.push_back(path);
    const FitRun run = test::fit(args);
    std::filesystem::remove(path);
    return run;
}

json fit_json(const std::string& text, std::vector<std::string> args = {})
{
    args.insert(args.end(), {"--json", "--runs", "2", "--trials", "300"});
    const FitRun run = fit_text(text, args);
    EXPECT_EQ(run.code, 0) << run.err;
    return run.code == 0 ? json::parse(run.out) : json();
}

// A ramp with noise at uneven x, as rows of (x, y) texts.
struct Row {
    std::string x, y;
};
std::vector<Row> ramp_rows()
{
    std::vector<Row> rows;
    for (int i = 0; i < 48; ++i) {
        const double x = i * 1.25 + (i % 3) * 0.25;
        const double y = (x < 20 ? 4.0 : x > 40 ? 12.0 : 4.0 + 0.4 * (x - 20)) +
                         0.3 * std::sin(i * 2.1);
        rows.push_back({number_text(x), number_text(round_half_even(y, 3))});
    }
    return rows;
}

// The rows under a title line, each line made by `line`.
std::string file_of(const std::string& title, const std::function<std::string(const Row&)>& line,
                    const std::vector<Row>& rows = ramp_rows())
{
    std::string text = title;
    for (const Row& row : rows)
        text += line(row);
    return text;
}

std::string with_comma(std::string number)
{
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

// What a fit found, without what names the file.
json fit_of(const json& object)
{
    return {object["points"], object["best"], object["duration"]};
}

// Every reader form of one series, and its gaps, fits as its plain two-column file does.
TEST(DataForms, EachFormFitsAsThePlainFile)
{
    const json plain = fit_of(fit_json(file_of("x,y\n", [](const Row& r) {
        return r.x + "," + r.y + "\n";
    })));
    const auto gap_after = [](const Row& r, const std::string& marker, const std::string& sep) {
        const std::string after = r.x + (r.x.find('.') == std::string::npos ? ".01" : "01");
        return r.x + sep + r.y + "\n" + after + sep + marker + "\n";
    };
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> args;
        std::size_t gaps = 0;  // a gap after each row but the last, past the crop's end
        std::size_t comments = 0;
        bool untitled = false;
    };
    const auto tabbed = [](const Row& r) { return r.x + "\t" + r.y + "\n"; };
    const std::vector<Case> cases{
        {"columns by title", file_of("sd,time,value\n", [](const Row& r) {
             return "0.5," + r.x + "," + r.y + "\n"; }), {"--x", "time", "--y", "value"}},
        {"columns by number", file_of("a,b,c,d\n", [](const Row& r) {
             return "7," + r.x + ",1," + r.y + "\n"; }), {"--x", "2", "--y", "4"}},
        {"extra columns", file_of("t,v,sd\n", [](const Row& r) {
             return r.x + "," + r.y + ",0.3\n"; }), {}},
        {"semicolons, decimal commas", file_of("t;v\n", [](const Row& r) {
             return with_comma(r.x) + ";" + with_comma(r.y) + "\n"; }), {}},
        {"tabs", file_of("t\tv\n", [](const Row& r) { return r.x + "\t" + r.y + "\n"; }), {}},
        {"blanks", file_of("t  v\n", [](const Row& r) { return "  " + r.x + "   " + r.y + "\n"; }),
         {}},
        {"quoted numbers", file_of("\"t\",\"v\"\n", [](const Row& r) {
             return "\"" + r.x + "\",\"" + r.y + "\"\n"; }), {}},
        {"BOM and CRLF", file_of("\xEF\xBB\xBFt,v\r\n", [](const Row& r) {
             return r.x + "," + r.y + "\r\n"; }), {}},
        {"sigma of 1", file_of("t,v,s\n", [](const Row& r) { return r.x + "," + r.y + ",1\n"; }),
         {"--sigma", "s"}},
        {"empty y", file_of("t,v\n", [&](const Row& r) { return gap_after(r, "", ","); }), {},
         47},
        {"NaN, NA, NULL", file_of("t,v\n", [&](const Row& r) {
             const char* markers[] = {"NaN", "na", "NULL"};
             return gap_after(r, markers[r.x.size() % 3], ","); }), {}, 47},
        {"--missing", file_of("t;v\n", [&](const Row& r) {
             return with_comma(gap_after(r, "-999", ";")); }), {"--missing", "-999"}, 47},
        {"no title row", file_of("", [](const Row& r) { return r.x + "," + r.y + "\n"; }), {},
         0, 0, true},
        {"# comments", file_of("# exported 2024-03-01\n# by a logger\nt,v\n", [](const Row& r) {
             return r.x + "," + r.y + (r.x == "0" ? "\n# recalibrated\n" : "\n"); }), {}, 0, 3},
        {"paleo template", file_of("# Title: a core\n#------\n# Data:\n# Missing Value: -999\n"
                                   "age\tvalue\n", tabbed), {"--missing", "-999"}, 0, 4},
        {"description block", file_of("/* DATA DESCRIPTION:\nCitation:\ta core\n*/\n"
                                      "Depth [m]\tAge [ka BP]\td18O [per mil]\n",
                                      [](const Row& r) { return "0.5\t" + r.x + "\t" + r.y + "\n"; }),
         {"--x", "Age [ka BP]", "--y", "d18O [per mil]"}, 0, 3},
        {"savetxt header", file_of("# x y\n", [](const Row& r) { return r.x + " " + r.y + "\n"; }),
         {}, 0, 1, true},
        {"% comments", file_of("% instrument 7\n% run 2\nt;v\n", [](const Row& r) {
             return with_comma(r.x) + ";" + with_comma(r.y) + "\n"; }), {"--comment", "%"}, 0, 2}};
    for (const Case& c : cases) {
        const json object = fit_json(c.text, c.args);
        EXPECT_EQ(fit_of(object), plain) << c.name;
        EXPECT_EQ(object.value("gaps", std::size_t{0}), c.gaps) << c.name;
        EXPECT_EQ(object.value("comment_lines", std::size_t{0}), c.comments) << c.name;
        EXPECT_EQ(object.value("titles", true), !c.untitled) << c.name;
    }
    const FitRun said = fit_text(cases[cases.size() - 2].text, {"--runs", "1", "--trials", "50"});
    EXPECT_TRUE(said.out.starts_with("No title row (the first line is data; columns go by "
                                     "number)\nComment lines skipped = 1\n")) << said.out;
    // Downwards: the same fit, said once.
    std::vector<Row> down = ramp_rows();
    std::reverse(down.begin(), down.end());
    const json reversed = fit_json(file_of("age,v\n", [](const Row& r) {
        return r.x + "," + r.y + "\n"; }, down));
    EXPECT_EQ(fit_of(reversed), plain);
    EXPECT_EQ(reversed["reversed"], true);
    const FitRun text = fit_text(file_of("age,v\n", [](const Row& r) {
        return r.x + "," + r.y + "\n"; }, down), {"--runs", "1", "--trials", "50"});
    EXPECT_TRUE(text.out.starts_with("Read in reverse order")) << text.out;
}

// A series far from zero, tiny, or on x in Unix seconds or Julian days refines, with its
// intervals, to the series about zero, in data units; where single precision cannot hold the
// crop for the search, that is said, in JSON and a text line.
TEST(DataForms, RefinesSeriesFarFromZeroAsAboutZero)
{
    struct Form {
        const char* name;
        double x0, dx, y0, dy;
        bool warned;
    };
    const Form forms[] = {{"about zero", 0, 1, 0, 1, false},
                          {"y at 1e6", 0, 1, 1e6, 1, true},
                          {"y at 1e-6 scale", 0, 1, 0, 1e-6, false},
                          {"Unix seconds", 1.7e9, 60, 0, 1, false},
                          {"Julian days", 2460000.5, 1.0 / 24, 0, 1, false}};
    const auto text_of = [](const Form& f) {
        std::string text = "x,y\n";
        for (int i = 0; i < 300; ++i) {
            const double y = 0.05 * std::clamp(i - 100, 0, 100) / 100.0 + 0.005 * std::sin(i * 2.1);
            text += number_text(f.x0 + f.dx * i) + "," + number_text(f.y0 + f.dy * y) + "\n";
        }
        return text;
    };
    const std::vector<std::string> args{"--model", "ramp", "--bootstrap", "20"};
    const json zero = fit_json(text_of(forms[0]), args);
    for (const Form& f : forms) {
        const json got = fit_json(text_of(f), args);
        EXPECT_EQ(got.contains("precision_warning"), f.warned) << f.name;
        for (const std::size_t k : {1, 2}) {
            const auto x = [&](const json& v) { return (v.get<double>() - f.x0) / f.dx; };
            EXPECT_NEAR(x(got["refined"]["x"][k]), zero["refined"]["x"][k].get<double>(), 0.01)
                << f.name << " X" << k + 1;
            for (const std::size_t end : {0, 1})
                EXPECT_NEAR(x(got["bootstrap"]["x"][k][end]),
                            zero["bootstrap"]["x"][k][end].get<double>(), 0.01)
                    << f.name << " X" << k + 1 << " interval";
            const auto y = [&](const json& v) { return (v.get<double>() - f.y0) / f.dy; };
            EXPECT_NEAR(y(got["refined"]["y"][k]), zero["refined"]["y"][k].get<double>(), 1e-6)
                << f.name << " Y" << k + 1;
            EXPECT_NEAR(y(got["bootstrap"]["y"][k][1]), zero["bootstrap"]["y"][k][1].get<double>(),
                        1e-6)
                << f.name << " Y" << k + 1 << " interval";
        }
    }
    const FitRun text = fit_text(text_of(forms[1]), {"--runs", "1", "--trials", "50"});
    EXPECT_TRUE(text.out.starts_with("Precision warning: y is stored in single precision with 2 "
                                     "distinct values for 300 points")) << text.out;
}

// Gaps are counted within the crop, in JSON, the CSV column and a text line.
TEST(DataForms, GapsAreCountedWithinTheCrop)
{
    const std::string text = "x,y\n0,1\n1,\n2,3\n3,NA\n4,2\n5,4\n6,\n7,5\n";
    EXPECT_EQ(fit_json(text)["gaps"], 3);
    EXPECT_EQ(fit_json(text, {"--from", "1.5", "--to", "7"})["gaps"], 2);
    EXPECT_FALSE(fit_json("x,y\n0,1\n1,2\n2,3\n3,5\n4,2\n")["gaps"].is_number());
    const FitRun csv = fit_text(text, {"--csv", "--runs", "1", "--trials", "50", "--to", "5"});
    EXPECT_TRUE(csv.out.starts_with("file,model,from,to,points,gaps,")) << csv.out;
    EXPECT_NE(csv.out.find(",0,5,4,2,"), std::string::npos) << csv.out;
    const FitRun report = fit_text(text, {"--runs", "1", "--trials", "50"});
    EXPECT_TRUE(report.out.starts_with("Gaps in the crop = 3")) << report.out;
}

// Crops of fractional x with many digits hold every row, defaulted or typed as the first and
// last x.
TEST(DataForms, FractionalCropsHoldEveryRow)
{
    std::string text = "x,y\n";
    std::vector<std::string> xs;
    for (int i = 0; i < 40; ++i) {
        xs.push_back(number_text(0.0213457 + i * 0.0114519 + std::sin(i) * 1e-3));
        text += xs.back() + "," + number_text(std::cos(i * 0.3)) + "\n";
    }
    EXPECT_EQ(fit_json(text)["points"], 40);
    EXPECT_EQ(fit_json(text, {"--from", xs.front(), "--to", xs.back()})["points"], 40);
    // Hours as days: the last row lies past the single sum of the plot's edges, yet the plot,
    // and so the model's last vertex, reaches it, and the refinement takes it.
    text = "t,v\n";
    for (int i = 0; i < 60; ++i)
        text += number_text(i / 24.0) + "," + number_text(4.0 - 0.01 * i * (i > 30)) + "\n";
    const json refined = fit_json(text, {"--model", "free3", "--refine"});
    EXPECT_EQ(refined["points"], 60);
    EXPECT_GE(refined["best"]["x"].back().get<double>(), 59 / 24.0);
    EXPECT_GE(refined["refined"]["x"].back().get<double>(), 59 / 24.0);
}

// Dates fit in days from the first row and come back in the file's own form, durations in days
// or hours; typed bounds take the same form.
TEST(DataForms, DatesComeBackInTheFilesForm)
{
    const json days = fit_of(fit_json("d,v\n0,1\n1,1.2\n2,1.1\n3,4\n4,6.2\n5,6\n6,5.9\n7,6.1\n"));
    struct Case {
        std::string head, tail;  // row i's x is head + (first + i) + tail
        int first;
        std::string from, to, x4, duration;
    };
    for (const Case& c : std::vector<Case>{
             {"2024-03-0", "", 1, "2024-03-01", "2024-03-08", "2024-03-08", "days"},
             {"2024-03-02T0", ":00Z", 1, "2024-03-02T01:00Z", "2024-03-02T08:00Z",
              "2024-03-02T08:00Z", "hours"},
             {"2024-03-01 1", ":00:00+01:00", 2, "2024-03-01 12:00:00+01:00",
              "2024-03-01 19:00:00+01:00", "2024-03-01 19:00:00+01:00", "hours"}}) {
        std::string text = "when,v\n";
        const std::vector<const char*> ys{"1", "1.2", "1.1", "4", "6.2", "6", "5.9", "6.1"};
        for (std::size_t i = 0; i < ys.size(); ++i)
            text += c.head + std::to_string(c.first + static_cast<int>(i)) + c.tail + "," + ys[i] +
                    "\n";
        const json object = fit_json(text);
        EXPECT_EQ(object["from"], c.from) << text;
        EXPECT_EQ(object["to"], c.to) << text;
        EXPECT_EQ(object["best"]["x"][3], c.x4) << text;
        EXPECT_NE(object["report"].back().get<std::string>().find(c.duration), std::string::npos);
        // Bounds typed as dates crop as the file's own x do.
        EXPECT_EQ(fit_json(text, {"--from", c.from, "--to", c.to})["points"], 8);
        if (c.duration == "days") {
            const json fitted = fit_of(object);
            EXPECT_EQ(fitted[1]["y"], days[1]["y"]);
            EXPECT_EQ(fitted[2], days[2]);
        }
    }
    // The replicates' AR(1) on uneven dates: its persistence is in days, in the text and JSON.
    const std::string uneven = "t,v\n2024-03-01,1\n2024-03-02,1.2\n2024-03-04,1.1\n2024-03-05,4\n"
                               "2024-03-07,6.2\n2024-03-08,6\n2024-03-10,5.9\n2024-03-11,6.1\n";
    EXPECT_NE(fit_text(uneven, {"--bootstrap", "20"}).out.find("persistence 0.0498 days,"), std::string::npos);
    EXPECT_NEAR(fit_json(uneven, {"--bootstrap", "20"})["bootstrap"]["persistence"], 0.0498, 5e-5);
}

// What cannot be read as asked is refused, naming the option.
TEST(DataForms, RefusesOptionsTheFileCannotTake)
{
    struct Case {
        std::string text;
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case& c : std::vector<Case>{
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--from", "2024-01-01"}, "is a date"},
             {"t,y\n2024-01-01,1\n2024-01-02,2\n2024-01-03,1\n2024-01-04,3\n", {"--to", "3"},
              "written as 2024-01-01"},
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--x", "0"}, "--x needs a column"},
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--missing", "NA"}, "--missing needs a number"},
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--y", "depth"}, "depth"},
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--from", "1.x"}, "a number or an ISO date"},
             {"x,y\n0,1\n1,2\n2,3\n3,1\n", {"--comment", "ab"}, "--comment needs one mark"},
             {"0,1\n1,2\n2,3\n3,1\n", {"--x", "time"}, "the file has no title row"},
             {"# only\n# comments\n", {}, "all its 2 lines are comments"}}) {
        const FitRun run = fit_text(c.text, c.args);
        EXPECT_EQ(run.code, 2) << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace tolvenar
