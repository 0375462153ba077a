// SPDX-License-Identifier: GPL-3.0-or-later
// Which moved first: several series of one event fitted on one crop with one family and counts,
// each exactly as it would be fitted alone, and the x of each moving break point of every series
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

// The lag of vertex `vertex` of `series` against `reference` (both with their data x origins
// `origin` and `reference_origin`) from the refined fits, and its interval at `level` from the
// replicates made together (pairs where either has no model are left out).
Lag lag_of(const refine::RefinedFit& series, double origin, const refine::RefinedFit& reference,
           double reference_origin, int vertex,
           std::span<const std::optional<refine::Replicate>> series_replicates,
           std::span<const std::optional<refine::Replicate>> reference_replicates, double level);

// Fits each series as fit_series fits it alone (refined: the lags are of refined fits) and,
// with request.bootstrap replicates, the replicates of all of them together
// (refine::joint_replicates) for the lags' intervals. Refuses a reference that is not one of
// the series, fewer than two series, two series of one title, and a comparison of the families
// (each series could choose another).
LagRecord fit_lags(std::span<const LagSeries> series, const std::string& reference,
                   const FitRequest& request, const std::string& file,
                   const JobControl& control);

}  // namespace tolvenar
