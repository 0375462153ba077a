// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --compare: the comparison before the chosen family's usual report, or "no event".
#include "fit_run.h"
#include "core/job/fit_job.h"
#include "core/compare/criteria.h"
#include "core/compare/null_fit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace tolvenar {
namespace {

using nlohmann::json;

// The step example's ramp (from 90 to 210), or its flat start (to 100).
std::pair<int, std::string> run(std::vector<std::string> args, bool ramp = true)
{
    // Before the test's own arguments, which override them.
    args.insert(args.begin(), {"--runs", "2", "--trials", "200", "--test-replicates", "39",
                               "--from", ramp ? "90" : "0", "--to", ramp ? "210" : "100"});
    args.push_back(TOLVENAR_SOURCE_DIR "/examples/step_ramp.csv");
    const test::Outcome done = test::fit(args);
    return {done.code, done.out + done.err};
}

TEST(CompareCommand, TheComparisonThenTheChosenFamilysReportOrNoEvent)
{
    const json ramp = json::parse(run({"--json", "--refine"}).second);
    EXPECT_EQ(ramp["chosen"], "ramp");
    EXPECT_EQ(ramp["model"], "Simple ramp");
    EXPECT_LT(ramp["event_test"]["p"], 0.05);
    EXPECT_EQ(ramp["event_test"]["replicates"], 39);
    ASSERT_EQ(ramp["comparison"].size(), 8u);
    int chosen = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const json& m = ramp["comparison"][i];
        chosen += m["chosen"].get<bool>();
        if (i > 0)
            EXPECT_LE(ramp["comparison"][i - 1]["bic"], m["bic"]);
    }
    EXPECT_EQ(chosen, 1);
    // The chosen family's search and refinement as --model gives them.
    std::vector<std::string> as_model{"--json", "--refine", "--model", "ramp", "--from", "90",
                                      "--to", "210", "--runs", "2", "--trials", "200",
                                      TOLVENAR_SOURCE_DIR "/examples/step_ramp.csv"};
    const json plain = json::parse(test::fit(as_model).out);
    EXPECT_EQ(ramp["best"], plain["best"]);
    EXPECT_EQ(ramp["refined"], plain["refined"]);

    const std::string text = run({}).second;
    EXPECT_EQ(text.rfind("Model        k  Sum of squares", 0), 0u);
    EXPECT_NE(text.find("\nChosen: Simple ramp (ramp)\nX1 = 90\n"), std::string::npos) << text;

    const json flat = json::parse(run({"--json"}, false).second);
    EXPECT_EQ(flat["chosen"], "constant");
    EXPECT_TRUE(flat["model"].is_null() && !flat.contains("best"));
    EXPECT_EQ(flat["status"], "fitted");
    EXPECT_NE(run({}, false).second.find("\nChosen: no event (constant)\n"), std::string::npos);

    std::istringstream table(run({"--csv"}).second);
    std::string header, row;
    std::getline(table, header);
    std::getline(table, row);
    EXPECT_NE(header.find(",chosen,chosen_bic_weight,event_p,status,reason"), std::string::npos);
    EXPECT_NE(row.find(",ramp," + ramp["comparison"][0]["bic_weight"].dump() + ",0.025,fitted,"),
              std::string::npos) << row;
}

// A series read with a sigma column is weighted by the sigma of the rows cropped.
TEST(CompareCommand, WeighsByTheCroppedRowsSigma)
{
    std::string text = "x,y,s\n";
    std::vector<double> x, y, sigma;  // the crop: x from 10 on
    for (int i = 0; i < 40; ++i) {
        const double yi = (i * 7 % 5) - 2.0 + (i >= 25 ? 3.0 : 0.0), si = i % 3 ? 1.0 : 4.0;
        text += std::to_string(i) + "," + std::to_string(yi) + "," + std::to_string(si) + "\n";
        if (i >= 10)
            x.push_back(i), y.push_back(yi), sigma.push_back(si);
    }
    ReadOptions read;
    read.sigma = ColumnChoice{"", 3};
    FitRequest request;
    request.compare = true;
    request.test_replicates = 0;
    request.from = Edge{10.0, "--from 10"};
    const FitRecord got = fit_series(import_data_text(text, read), request, "s.csv", {});
    const compare::NullFit constant = compare::fit_null("constant", x, y, sigma);
    const compare::ModelRecord want = compare::model_record(
        "constant", 1, x, constant.residuals, sigma, compare::NoiseModel::Ar1);
    ASSERT_TRUE(got.comparison.has_value());
    for (const compare::ModelRecord& m : got.comparison->models)
        if (m.name == "constant")
            EXPECT_NEAR(m.log_likelihood, want.log_likelihood, 1e-9);
}

}  // namespace
}  // namespace tolvenar
