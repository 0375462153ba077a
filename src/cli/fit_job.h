// SPDX-License-Identifier: GPL-3.0-or-later
// One series fitted as tolvenar-fit fits a file: the crop of the options, the search (and the
// constrained search), the refinement and its intervals, in a fit session of its own; and the
// pieces of its record that the window and the Python module make from their own sessions.
#pragma once

#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/file_result.h"
#include "core/data/data_reader.h"
#include "core/search/report.h"
#include "core/session/fit_session.h"
#include "core/window/crop_edges.h"

#include <atomic>
#include <string>
#include <vector>

namespace tolvenar::cli {

// Fits the imported series as a call with its file alone does, from a fresh random source
// (options.seed), on `threads` cores; `stop` (a signal) ends the work with the best so far.
// Every refusal, fault and interruption ends up in the result, whose file is `file`; with a
// `picture_path` the result holds the picture to write there.
FileResult fit_series(const FitOptions& options, CheckedImport imported, const std::string& file,
                      const std::string& picture_path, int threads, Progress& progress,
                      const std::atomic<bool>& stop);

// The enabled labels in the window's reading order: X1, Y1, ..., X6, Y6, R, the measure.
std::vector<std::string> report_lines(const ResultLabels& labels);

// The session's best of best as the record holds it, with the report `labels` show.
FoundModel found_model(const FitSession& session, ModelFamily family, const ResultLabels& labels);

// The working plot of the fit: the cropped data in blue, the band of the refined fit's
// intervals when there is one, the best of best in red and the refined model in black; x from
// the crop's left edge, y from `top` to `bottom` as the plot shows them. The data's line breaks
// at each x of `gap_x` (missing y).
plot::FitPicture fit_picture(const FitSession& session, double top, double bottom,
                             const CropEdges& window, const FoundModel& found,
                             const std::vector<double>& gap_x = {});

}  // namespace tolvenar::cli
