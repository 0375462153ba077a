// SPDX-License-Identifier: GPL-3.0-or-later
// Which moved first: several series of one event fitted on one crop with one family and counts,
// each as it would be fitted alone, and the x of each moving break point of every series
// against the reference's, with an interval from replicates of all the series made together.
#pragma once

#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/job/fit_record.h"
#include "core/job/fit_request.h"
#include "core/job/lag_record.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvenar {

// One side of a lag: a series' refined fit with its data x origin, its replicates made together
// with the other side's, and the standard errors of its fit (none: not known).
struct LagSide {
    const refine::RefinedFit* fit = nullptr;
    double origin = 0.0;
    std::span<const std::optional<refine::Replicate>> replicates;
    std::optional<refine::StandardErrors> errors;
};

// The lag of vertex `vertex` of `series` against `reference` from the refined fits, and its
// interval at `level` from the replicates made together (pairs where either has no model are
// left out): symmetric about the lag, studentized by the root of the sides' squared standard
// errors where both sides and their replicates have them, else their percentiles.
Lag lag_of(const LagSide& series, const LagSide& reference, int vertex, double level);

// Fits each series as fit_series fits it alone (refined: the lags are of refined fits) and,
// with request.bootstrap replicates, the replicates of all of them together
// (refine::joint_replicates) for the lags' intervals. Series on the same even x resample their
// own intervals in blocks of the longest any of them asks (refine::shared_block_lengths), so
// that their own replicates are the lags' too. Refuses a reference that is not one of
// the series, fewer than two series, two series of one title, and a comparison of the families
// (each series could choose another).
LagRecord fit_lags(std::span<const LagSeries> series, const std::string& reference,
                   const FitRequest& request, const std::string& file,
                   const JobControl& control);

}  // namespace tolvenar
