// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --refine, --bootstrap, --level and --seed: additions after an unchanged report.
#include "fit_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

namespace tolvenar {
namespace {

using nlohmann::json;

std::pair<int, std::string> run(std::vector<std::string> args)
{
    args.insert(args.end(), {"--model", "ramp", "--runs", "2", "--trials", "200", "--from", "90",
                             "--to", "210", TOLVENAR_SOURCE_DIR "/examples/step_ramp.csv"});
    const test::Outcome done = test::fit(args);
    return {done.code, done.out + done.err};
}

TEST(RefineCommand, AddsTheRefinedFitAndItsIntervalsAfterAnUnchangedReport)
{
    const json plain = json::parse(run({"--json"}).second);
    EXPECT_EQ(json::parse(run({"--json", "--seed", "5489"}).second), plain);
    EXPECT_EQ(json::parse(run({"--json", "--draws", "0"}).second), plain);  // none stepped over
    EXPECT_NE(json::parse(run({"--json", "--seed", "1"}).second)["best"], plain["best"]);

    json refined = json::parse(run({"--json", "--refine"}).second);
    EXPECT_LE(refined["refined"]["sq_dist"], plain["best"]["sq_dist"]);
    EXPECT_EQ(refined["refined"]["duration"].get<float>(),
              refined["refined"]["x"][2].get<float>() - refined["refined"]["x"][1].get<float>());
    refined.erase("refined");
    EXPECT_EQ(refined, plain);

    const json boot = json::parse(run({"--json", "--bootstrap", "20", "--level", "0.8"}).second);
    EXPECT_EQ(boot["refined"], json::parse(run({"--json", "--refine"}).second)["refined"]);
    EXPECT_EQ(boot["bootstrap"]["replicates_done"], 20);
    EXPECT_EQ(boot["bootstrap"]["level"], 0.8);
    EXPECT_EQ(boot["bootstrap"]["seed"], 5489);
    for (const char* key : {"x", "y"})
        for (const json& pair : boot["bootstrap"][key])
            EXPECT_LE(pair[0], pair[1]) << key;
    // A poor search reaches the same optimum, with replicates searched first or not.
    for (const char* more : {"--refine", "--bootstrap-search"}) {
        const json poor = json::parse(
            run({"--json", "--bootstrap", "20", "--runs", "1", "--trials", "20", more}).second);
        EXPECT_EQ(poor["refined"], boot["refined"]) << more;
        EXPECT_EQ(poor["bootstrap"]["replicates"], 20) << more;
    }

    // A ramp the data do not place, on a crop from x 5: its duration spans the crop's width.
    const json loose = json::parse(test::fit({"--json", "--runs", "2", "--trials", "200", "--bootstrap", "20",
                                              "--from", "5", TOLVENAR_SOURCE_DIR "/examples/noisy_plateau.csv"}).out)["bootstrap"];
    EXPECT_EQ(loose["reach"].get<std::string>() + loose["duration"].dump(), "measure whole[0,392.5]");
    // A ramp of a gauge record whose AR(1) noise outlasts the crop: said so.
    EXPECT_EQ(json::parse(test::fit({"--json", "--runs", "2", "--trials", "200", "--bootstrap", "20",
                                     TOLVENAR_SOURCE_DIR "/examples/gauge_with_gaps.csv"}).out)["bootstrap"]["drifting"], true);

    // Text: the report, the refined report, then one interval per reported value.
    const std::string text = run({"--bootstrap", "20"}).second;
    EXPECT_EQ(text.find(run({}).second), 0u);
    for (const char* line : {"\nRefined X2 = ", "\nRefined Duration of change = ",
                             "\nBootstrap = 20 replicates", "\nX2 90 % interval = ",
                             "\nY4 90 % interval = ", "\nDuration of change 90 % interval = "})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("X5 90 %"), std::string::npos);

    // The table's refined and interval columns hold the JSON's numbers; a family's absent
    // vertices and measures stay empty.
    std::istringstream table(run({"--csv", "--bootstrap", "20", "--level", "0.8"}).second);
    std::string header, row, name, field;
    std::getline(table, header);
    std::getline(table, row);
    EXPECT_EQ(header.substr(header.find(",refined_x1")),
              ",refined_x1,refined_x2,refined_x3,refined_x4,refined_x5,refined_x6,refined_y1,"
              "refined_y2,refined_y3,refined_y4,refined_y5,refined_y6,refined_r,refined_sq_dist,"
              "refined_duration,refined_symmetry_index,replicates_done,x1_lo,x1_hi,x2_lo,x2_hi,"
              "x3_lo,x3_hi,x4_lo,x4_hi,x5_lo,x5_hi,x6_lo,x6_hi,y1_lo,y1_hi,y2_lo,y2_hi,y3_lo,y3_hi,"
              "y4_lo,y4_hi,y5_lo,y5_hi,y6_lo,y6_hi,duration_lo,duration_hi,symmetry_index_lo,"
              "symmetry_index_hi,intervals_reach,intervals_drifting,status,reason\r");  // CR LF: RFC 4180
    std::istringstream names(header), fields(row);
    std::map<std::string, std::string> cell;
    while (std::getline(names, name, ',') && std::getline(fields, field, ','))
        cell[name] = field;
    for (const auto& [column, at] :  // x4: the ramp's last vertex
         {std::pair{"x4", "/best/x/3"}, {"refined_x2", "/refined/x/1"}, {"x3_lo", "/bootstrap/x/2/0"},
          {"refined_duration", "/refined/duration"}, {"y4_hi", "/bootstrap/y/3/1"},
          {"duration_hi", "/bootstrap/duration/1"}})
        EXPECT_EQ(cell[column], boot[json::json_pointer(at)].dump()) << column;
    for (const char* empty : {"refined_x5", "x5_lo", "y6_hi", "refined_symmetry_index",
                              "symmetry_index_lo"})
        EXPECT_EQ(cell[empty], "") << empty;
    EXPECT_EQ(cell["intervals_drifting"], "false");
}

}  // namespace
}  // namespace tolvenar
