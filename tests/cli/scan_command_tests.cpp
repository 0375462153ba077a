// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --scan: each event's object is the single fit of its crop, the crops lie between
// their neighbours, the table holds each event's own values, and a series without events and a
// stopped scan say so.
#include "fit_run.h"
#include "core/data/data_reader.h"
#include "core/job/scan_job.h"
#include "core/report/scan_output.h"
#include "core/runtime/fault.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>
#include <sstream>

namespace tolvenar {
namespace {

using json = nlohmann::ordered_json;
using test::Outcome, test::fit;

std::vector<json> lines_of(const std::string& text)
{
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line));
    return lines;
}

const std::string kSource = TOLVENAR_SOURCE_DIR;

TEST(ScanCommand, EachEventIsTheSingleFitOfItsCropBetweenItsNeighbours)
{
    struct Row {
        std::string file;
        std::vector<std::string> options;  // the fit's, given to the single fit too
        std::vector<std::string> scan;     // the scan's own
        std::size_t events;
    };
    const std::vector<Row> rows{
        {"step_ramp.csv", {"--bootstrap", "40", "--level", "0.95"}, {}, 1},
        {"asymmetric_event.csv", {"--bootstrap", "40", "--seed", "7"}, {"--min-size", "5"}, 2},
        {"gauge_with_gaps.csv", {"--model", "free3"}, {}, 2},
        {"asymmetric_event.csv", {"--runs", "3"}, {"--max-events", "1"}, 1}};
    for (const Row& row : rows) {
        const std::string file = kSource + "/examples/" + row.file;
        std::vector<std::string> args{"--scan", "--json", file};
        args.insert(args.end(), row.options.begin(), row.options.end());
        args.insert(args.end(), row.scan.begin(), row.scan.end());
        const Outcome scan = fit(args);
        ASSERT_EQ(scan.code, kExitSuccess) << row.file << scan.err;
        // The events' fits share the cores without their numbers depending on how many.
        args.insert(args.end(), {"--threads", "1"});
        EXPECT_EQ(fit(args).out, scan.out) << row.file;
        const std::vector<json> events = lines_of(scan.out);
        ASSERT_EQ(events.size(), row.events) << row.file;
        for (std::size_t k = 0; k < events.size(); ++k) {
            json event = events[k];
            EXPECT_EQ(event["event"], k + 1) << row.file;
            const json seen = event["scan"];
            if (k > 0)
                EXPECT_GE(event["from"], events[k - 1]["scan"]["end"]) << row.file << k;
            if (k + 1 < events.size())
                EXPECT_LE(event["to"], events[k + 1]["scan"]["onset"]) << row.file << k;
            EXPECT_LE(event["from"], seen["onset"]) << row.file << k;
            EXPECT_GE(event["to"], seen["end"]) << row.file << k;
            std::vector<std::string> single{"--json", "--refine", file, "--from",
                                            event["from"].dump(), "--to", event["to"].dump()};
            single.insert(single.end(), row.options.begin(), row.options.end());
            if (row.options[0] != "--model")
                single.insert(single.end(), {"--model", "ramp"});
            const Outcome alone = fit(single);
            event.erase("event");
            event.erase("scan");
            EXPECT_EQ(event.dump() + '\n', alone.out) << row.file << " event " << k + 1;
        }
        // One CSV row per event after the header, numbered.
        args[1] = "--csv";
        const std::string csv = fit(args).out;
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), std::ptrdiff_t(row.events + 1));
        EXPECT_EQ(csv.rfind("event,file,", 0), 0u) << row.file;
    }
}

// The text table's intervals hold their own onset and end, and a ramp's amplitude is its level
// after less its level before.
TEST(ScanCommand, TheTableHoldsEachEventsOwnValues)
{
    for (const char* name : {"asymmetric_event.csv", "ramps_in_red_noise.csv"}) {
        const std::string file = kSource + "/examples/" + name;
        std::istringstream text(
            fit({"--scan", "--runs", "3", "--trials", "300", "--bootstrap", "40", file}).out);
        std::string line;
        std::getline(text, line);  // the noise and the penalty
        std::getline(text, line);  // the titles
        int rows = 0;
        for (; std::getline(text, line); ++rows) {
            std::istringstream cells(line);
            int event = 0;
            double onset, end, before, after, amplitude, onset_lo, onset_hi, end_lo, end_hi;
            std::string dots;
            cells >> event >> onset >> end >> before >> after >> amplitude >> onset_lo >> dots >>
                onset_hi >> end_lo >> dots >> end_hi;
            ASSERT_TRUE(cells && event == rows + 1) << name << ": " << line;
            EXPECT_TRUE(onset_lo <= onset && onset <= onset_hi) << name << ": " << line;
            EXPECT_TRUE(end_lo <= end && end <= end_hi) << name << ": " << line;
            EXPECT_NEAR(amplitude, after - before, 0.0101) << name << ": " << line;
        }
        EXPECT_GE(rows, 2) << name;
    }
}

TEST(ScanCommand, SaysWhenNoEventStandsOutOrTheScanWasStopped)
{
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise;
    std::string series = "x,y\n";
    for (int i = 0; i < 400; ++i)
        series += std::to_string(i) + "," + std::to_string(10.0 + noise(random)) + "\n";
    const Outcome text = fit({"--scan", "-"}, series);
    EXPECT_EQ(text.code, kExitSuccess) << text.err;
    EXPECT_EQ(text.out.rfind("No event stands out in 400 points: noise sd = ", 0), 0u)
        << text.out;
    EXPECT_NE(text.out.find("penalty = "), std::string::npos);
    const std::vector<json> json_lines = lines_of(fit({"--scan", "--json", "-"}, series).out);
    ASSERT_EQ(json_lines.size(), 1u);
    EXPECT_EQ(json_lines[0]["status"], "no event");
    EXPECT_GT(json_lines[0]["scan"]["penalty"].get<double>(), 0.0);
    EXPECT_NEAR(json_lines[0]["scan"]["noise_sd"].get<double>(), 1.0, 0.15);
    // Stopped before its segmentation ended: the reason alone, no noise or penalty to tell.
    const std::atomic<bool> stop{true};
    std::ostringstream said;
    write_scan_text(said, scan_events(import_data_text(series), {}, "-", {&stop}), false, true);
    EXPECT_EQ(said.str(), "interrupted during the scan, before any event was found\n");
}

}  // namespace
}  // namespace tolvenar
