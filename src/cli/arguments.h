// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's arguments, read into options; bad usage is refused (exit 2).
#pragma once

#include "core/data/data_reader.h"
#include "core/model/family.h"

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::cli {

// A crop edge as typed or taken from the data, with the words naming it in messages.
struct Edge {
    double value = 0.0;
    std::string name;  // "--from 12" or "the first data x (0)"
    std::string text{};  // as typed
    bool date = false;  // typed as an ISO date: value is NaN until read in the file's x form
};

// The K-th of N shares of the file list: the files at 0-based positions i with i mod N = K - 1.
struct Shard {
    std::size_t k = 1;
    std::size_t n = 1;
};

struct FitOptions {
    ModelFamily family = ModelFamily::SimpleRamp;
    std::string runs_text = "10";      // as typed, a whole decimal number; read like Text6
    std::string trials_text = "1000";  // likewise, like Text3(0)
    std::optional<Edge> from;          // crop left edge; unset = the first data x
    std::optional<Edge> to;            // crop right edge; unset = the last data x
    ReadOptions read;                  // --x, --y, --sigma, --missing
    bool constrain = false;
    int threads = 0;    // the cores tolvenar-fit uses, over files and searches; 0: all usable
    bool json = false;  // one JSON object per file, one a line
    bool csv = false;   // a header row, then one row per file
    std::string plot;   // a .png or .svg picture of the fit, or a folder of them; "" none
    Shard shard;
    bool refine = false;         // the least-squares optimum after the search
    std::int32_t bootstrap = 0;  // replicates of the refined fit's intervals; 0: none
    bool bootstrap_search = false;  // each replicate searched before its refinement
    double level = 0.9;          // the intervals' level, in (0, 1)
    // --compare: the constant, the line and every event family compared on the crop, the event
    // tested, and the chosen family searched (and refined) as --model would.
    bool compare = false;
    std::size_t test_replicates = 199;  // of the event test; 0: the choice by BIC alone
    double alpha = 0.05;                // the event test's level, in (0, 1)
    // The random source's start, named in every result; by default std::mt19937's, the window's.
    std::uint32_t seed = std::mt19937::default_seed;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;  // as given, before the shard is taken; "-": standard input
};

// Throws Refused for bad usage, an unknown or manual family, a bound that is no number, a
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
