// SPDX-License-Identifier: GPL-3.0-or-later
// The crop of a fit job: the window's edges from the request's, taken as the window takes a crop
// typed into its two bound fields; what it cannot take is refused (kExitRefused).
#pragma once

#include "core/data/data_table.h"
#include "core/data/x_form.h"
#include "core/job/fit_request.h"
#include "core/session/fit_session.h"
#include "core/window/crop_edges.h"

namespace tolvenar {


// The edge in the file's x: a date edge read in the form (refused for a file of plain numbers, or
// a zone where the file's date-times have none), a number refused for a file of dates.
Edge edge_in(const Edge& edge, const XForm& form);

// The crop's edges (the working plot's left edge and width, the model-x origin, the edges as
// given or the data's first and last x). The data's first and last x stand for an edge not given; edges and messages are in the file's
// x `form` (an edge typed as a date read in it). Near zero, as the window takes a
// crop: left = single(from), width = single(to - from) with the difference in double. Far from
// zero: left = from and the origin, width = to - from rounded up to a single, so that a point at
// `to` stays in the crop.
CropEdges crop_window(const DataTable& table, const std::optional<Edge>& from,
                       const std::optional<Edge>& to, const XForm& form = {});

// The crop as the window takes it; a fault, which the window leaves silently, is refused, and so
// is a crop without a data point, which no search can fit.
void take_crop(FitSession& session, const CropEdges& window);

}  // namespace tolvenar
