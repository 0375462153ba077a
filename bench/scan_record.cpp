// SPDX-License-Identifier: GPL-3.0-or-later
// The event scan on a realistic long record (bench::greenland_like_record, described there).
//
//   scan_record OUT_DIR [--seed K]
//
// Writes OUT_DIR/record.csv (age, d18O), OUT_DIR/truth.csv (its transitions: onset, end,
// amplitude), OUT_DIR/events.csv (the scan's events) and OUT_DIR/segments.csv (its knots), and
// prints the scan's time. bench/scan_record_plot.py draws them.
#include "core/scan/scan.h"
#include "scan_records.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan_record OUT_DIR [--seed K]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const auto r = tolvenar::bench::greenland_like_record(seed);

    const auto start = std::chrono::steady_clock::now();
    const auto result = tolvenar::scan::scan_series(r.x, r.y);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::ofstream record(dir + "/record.csv"), truth(dir + "/truth.csv"),
        events(dir + "/events.csv"), segments(dir + "/segments.csv");
    record << "age,d18O\n";
    for (std::size_t i = 0; i < r.x.size(); ++i)
        record << r.x[i] << ',' << r.y[i] << '\n';
    truth << "onset,end,amplitude\n";
    for (const auto& t : r.transitions)
        truth << t.onset << ',' << t.end << ',' << t.amplitude << '\n';
    events << "onset,end,level_before,level_after,amplitude,crop_from,crop_to\n";
    for (const auto& e : result.events)
        events << e.onset << ',' << e.end << ',' << e.level_before << ',' << e.level_after << ','
               << e.amplitude << ',' << e.crop_from << ',' << e.crop_to << '\n';
    segments << "age,value\n";
    for (std::size_t k = 0; k < result.segmentation.knots.size(); ++k)
        segments << r.x[result.segmentation.knots[k]] << ',' << result.segmentation.values[k] << '\n';

    std::printf("%zu points, noise sd %.2f permil, persistence %.0f yr (phi %.2f at the mean gap), "
                "penalty %.1f: %zu breaks, %zu events (%zu true transitions) in %.3f s\n",
                r.x.size(), std::sqrt(result.noise.variance), result.noise.tau, result.noise.phi,
                result.penalty, result.segmentation.knots.size() - 2, result.events.size(),
                r.transitions.size(), seconds);
    return 0;
}
