// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's arguments, read into options; bad usage is refused (exit 2).
#pragma once

#include "core/data/data_reader.h"
#include "core/job/fit_request.h"
#include "core/job/scan_record.h"
#include "core/model/family.h"

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::cli {

// The K-th of N shares of the file list: the files at 0-based positions i with i mod N = K - 1.
struct Shard {
    std::size_t k = 1;
    std::size_t n = 1;
};

struct FitOptions {
    // What each file's fit is asked: its crop, family, searches, refinement, intervals,
    // comparison and seed, with the options' names in its refusals ("--runs 0").
    FitRequest request;
    // --scan: every event of each file, each fitted as `request` asks on its own crop; the
    // scan's settings (--min-size, --penalty, --max-events), its fit a copy of `request`.
    std::optional<ScanRequest> scan;
    ReadOptions read;   // --x, --y, --sigma, --missing
    int threads = 0;    // the cores tolvenar-fit uses, over files and searches; 0: all usable
    bool json = false;  // one JSON object per file, one a line
    bool csv = false;   // a header row, then one row per file
    std::string plot;   // a .png or .svg picture of the fit, or a folder of them; "" none
    Shard shard;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;  // as given, before the shard is taken; "-": standard input
    // Several --y columns as typed, each fitted alike, and the one their lags are taken to
    // (--lag-to; default the first). Empty: one series, as ever.
    std::vector<std::string> series;
    std::string lag_to;
};

// Throws Refusal for bad usage, an unknown or manual family, a bound that is no number, a
// count that is no whole decimal number, or a shard outside 1..N.
FitOptions parse_arguments(std::span<const std::string> args);

// The files of the options' shard, in the order given.
std::vector<std::string> shard_files(const FitOptions& options);
// The entries of `list`, one for each file given, that belong to the options' shard.
std::vector<std::string> shard_of(const FitOptions& options, const std::vector<std::string>& list);

// True when `text` is an optional sign and decimal digits, nothing else: "12abc", "2.5", "1e3"
// and "" are no count.
bool is_whole_count(std::string_view text);

}  // namespace tolvenar::cli
