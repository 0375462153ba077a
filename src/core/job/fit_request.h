// SPDX-License-Identifier: GPL-3.0-or-later
// What one fit of one series is asked to do, as plain values: the crop, the family, the searches
// and their random stream, the refinement, the intervals and the comparison. The window,
// tolvenar-fit and Python each fill one in, naming its inputs in their own words for the
// refusals ("--runs 0", "runs=0").
#pragma once

#include "core/model/family.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tolvenar {

// A crop edge as typed or taken from the data, with the words naming it in refusals.
struct Edge {
    double value = 0.0;
    std::string name;    // "--from 12", "lo=12" or "the first data x (0)"
    std::string text{};  // as typed
    bool date = false;   // typed as an ISO date: value is NaN until read in the file's x form
};

// One search: its counts as typed (read as the window reads its count fields) and whether its
// candidates are drawn inside the constraint boxes the searches before it gathered.
struct SearchStep {
    std::string runs = "10";
    std::string trials = "1000";
    bool constrain = false;

    bool operator==(const SearchStep&) const = default;
};

// The words a front end names its inputs with in refusals: a prefix before the value as typed.
struct InputNames {
    std::string runs = "--runs ";
    std::string trials = "--trials ";
};

// A picture's size in pixels and its resolution, which sizes its text and lines: at 96 dots per
// inch a point of text is 4/3 of a pixel.
struct PictureSize {
    int width = 640;
    int height = 480;
    int dpi = 96;
};

struct FitRequest {
    ModelFamily family = ModelFamily::SimpleRamp;
    std::optional<Edge> from;  // the crop's left edge; none: the first data x
    std::optional<Edge> to;    // the crop's right edge; none: the last data x
    // The searches in order, each going on from the results of those before it, as the window's
    // "Run" does from one click to the next.
    std::vector<SearchStep> searches{SearchStep{}};
    // The random source's start, and the draws taken from it before the first search: a record
    // made after other searches in the same stream names where its own began.
    std::uint32_t seed = std::mt19937::default_seed;
    std::uint64_t draws = 0;
    bool refine = false;            // the family's least-squares optimum after the searches
    std::int32_t bootstrap = 0;     // replicates of the refined fit's intervals; 0: none
    bool bootstrap_search = false;  // each replicate searched before its refinement
    double level = 0.9;             // the intervals' level, in (0, 1)
    std::optional<std::uint32_t> bootstrap_seed;  // the replicates' seed; none: `seed`
    std::size_t block_length = 0;  // the replicates' blocks, where drawn; 0: from the residuals
    // On evenly spaced x the replicates draw blocks of rows, which series on the same rows share
    // (their lags); false: AR(1) noise on any x.
    bool shared_rows = false;
    // The constant, the line and every event family compared on the crop and the event tested
    // first; the family chosen is then searched in place of `family`.
    bool compare = false;
    std::size_t test_replicates = 199;  // of the event test; 0: the choice by BIC alone
    double alpha = 0.05;                // the event test's level, in (0, 1)
    int threads = 0;                    // cores to use; 0: every usable one. Same results for any
    bool picture = false;               // the record holds the fit's picture
    PictureSize picture_size;           // its pixels and resolution
    InputNames names;

    // The first search, and whether a constrained search follows it with the same counts: the
    // plain form of the searches, which tolvenar-fit's --runs, --trials and --constrain give.
    const SearchStep& first_search() const { return searches.front(); }
    bool constrained() const
    {
        return searches.size() == 2 && searches[1].constrain &&
               searches[1].runs == searches[0].runs && searches[1].trials == searches[0].trials;
    }
    bool plain_searches() const
    {
        return (searches.size() == 1 && !searches[0].constrain) ||
               (constrained() && !searches[0].constrain);
    }
    std::uint32_t replicates_seed() const { return bootstrap_seed.value_or(seed); }
};

}  // namespace tolvenar
