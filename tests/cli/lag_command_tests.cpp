// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --y A,B --lag-to: each file's lags in every output form, the combined lags after
// many files, and the refusals of lags that cannot be taken.
#include "fit_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tolvenar {
namespace {

using nlohmann::json;

// A file of three noise-free ramps (a, b 6 later, c 3 earlier) over x 0..119, b with gaps,
// removed with the test.
struct EventFile {
    std::string path;
    explicit EventFile(const std::string& name);
    ~EventFile() { std::remove(path.c_str()); }
    operator const std::string&() const { return path; }
};

EventFile::EventFile(const std::string& name)
    : path(::testing::TempDir() + "tolvenar_lags_" + std::to_string(getpid()) + name + ".csv")
{
    std::ofstream file(path);
    file << "time,a,b,c\n";
    const auto ramp = [](int x, int start) { return std::clamp((x - start) / 20.0, 0.0, 1.0); };
    for (int x = 0; x < 120; ++x) {
        file << x << ',' << ramp(x, 50) << ',';
        if (x % 7 != 3)
            file << ramp(x, 56);
        file << ',' << ramp(x, 47) << '\n';
    }
}

std::pair<int, std::string> run(std::vector<std::string> args, bool with_err = false)
{
    args.insert(args.begin(), {"--runs", "3", "--trials", "300", "--bootstrap", "20"});
    const test::Outcome done = test::fit(args);
    return {done.code, with_err ? done.err : done.out};
}

TEST(LagCommand, GivesEachFilesLagsThenTheirCombination)
{
    const EventFile one("one"), two("two");
    const auto [code, text] = run({"--y", "a,b,c", "--lag-to", "a", "--json", one, two});
    ASSERT_EQ(code, 0) << text;
    std::istringstream lines(text);
    std::string line;
    std::vector<json> objects;
    while (std::getline(lines, line))
        objects.push_back(json::parse(line));
    ASSERT_EQ(objects.size(), 3u);
    const json& first = objects[0];
    EXPECT_EQ(first["status"], "fitted");
    for (const char* title : {"a", "b", "c"})
        EXPECT_EQ(first["series"][title]["refined"]["x"].size(), 6u) << title;
    EXPECT_EQ(first["series"]["b"]["gaps"], 17);  // each series keeps its own
    const json expected = json::parse(R"([
        {"series": "b", "to": "a", "vertex": 2, "lag": 6, "interval": [6, 6], "joint": false},
        {"series": "b", "to": "a", "vertex": 3, "lag": 6, "interval": [6, 6], "joint": false},
        {"series": "c", "to": "a", "vertex": 2, "lag": -3, "interval": [-3, -3], "joint": true},
        {"series": "c", "to": "a", "vertex": 3, "lag": -3, "interval": [-3, -3], "joint": true}])");
    EXPECT_EQ(first["lags"], expected);
    const json& combined = objects[2]["combined"];
    ASSERT_EQ(combined.size(), 4u);
    EXPECT_EQ(combined[0]["lag"], 6);
    EXPECT_EQ(combined[0]["events"], 2);

    // A series fitted alongside others is fitted as alone.
    const json alone = json::parse(run({"--y", "b", "--json", one}).second);
    EXPECT_EQ(first["series"]["b"]["refined"], alone["refined"]);
    EXPECT_EQ(first["series"]["b"]["bootstrap"], alone["bootstrap"]);

    // One CSV row a file, series and break point; the text's table per file, then combined.
    const std::string csv = run({"--y", "a,b,c", "--lag-to", "a", "--csv", one, two}).second;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * 4);
    EXPECT_NE(csv.find("one.csv,b,a,2,6,6,6,0.9,false,fitted,\r"), std::string::npos) << csv;
    const std::string table = run({"--y", "a,b,c", "--lag-to", "a", one, two}).second;
    for (const char* text : {"Lags to a, 90 % intervals from 20 replicates, drawn jointly with c, "
                             "independently for b (other x)\n",
                             "c       X3      -3 ",
                             "\nCombined over events, 90 % intervals\n"})
        EXPECT_NE(table.find(text), std::string::npos) << text << "\n" << table;
    EXPECT_EQ(table.find(" \n"), std::string::npos) << table;  // the last column unpadded
    EXPECT_EQ(run({"--y", "a,b", "--lag-to", "a", one}).second.find("Combined"), std::string::npos);
}

TEST(LagCommand, RefusesLagsThatCannotBeTaken)
{
    const EventFile file("refused");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case& c : {
             Case{{"--y", "a,b", "--lag-to", "c"}, "--lag-to c is not one of the columns --y fits"},
             Case{{"--y", "2,3", "--lag-to", "c"}, "the reference \"c\" is not one of the series fitted"},
             Case{{"--y", "a", "--lag-to", "a"}, "--lag-to needs two series or more"},
             Case{{"--y", "a,b", "--compare"}, "lags need one family for every series"},
             Case{{"--y", "a,a"}, "--y names the column \"a\" twice"},
         }) {
        std::vector<std::string> args = c.args;
        args.push_back(file);
        const auto [code, err] = run(args, true);
        EXPECT_EQ(code, 2) << c.says;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
}

}  // namespace
}  // namespace tolvenar
