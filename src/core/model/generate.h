// SPDX-License-Identifier: GPL-3.0-or-later
// Random candidate models of the seven families, free or inside the boxes, and the plot scaling
// step that maps a free candidate into data units. The draws, their order and their number per
// family are part of the contract: the window and the command line draw the same candidates
// from the same random source.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/family.h"
#include "core/runtime/random_source.h"

#include <cstdint>
#include <optional>

namespace tolvenar {

// What generation reads on every call: the family, the draw mode and the crop window.
struct GenerateControls {
    std::optional<ModelFamily> family;  // nullopt: no family chosen, nothing drawn
    std::int16_t constrain = 0;         // 0 free, 1 in the constraint boxes, 2 no draw at all
    float scale_left = 0.0f;            // the crop window's left edge, model x
    float scale_width = 0.0f;           // its width
};

// Draws one candidate into ModelX/ModelY(1..6) (ModelX(0) only for the drawn family without
// boxes). Greyed "Constrain" returns at once; no family leaves the candidate as it was (the
// constrained reorder pass still runs). Free candidates are in abstract steps and levels until
// scale_model_to_plot; constrained and manual ones are in model x (CropOrigin) and data y.
// Every draw comes before any division, so a call takes the same number of draws per family and
// mode whatever it raises. Faults: a zero divisor (an event with duration with x3 = x2, x5 = x3,
// x4 = x3 or x5 = x4 where the rule divides by them), Overflow in single precision (huge box
// limits), IndexOutOfRange for a NodeCount outside 0..6 in the drawn family.
void GenerateModel(EngineState& state, const GenerateControls& controls, RandomSource& random);

// True when the search maps the candidate with scale_model_to_plot: free mode, any family but
// the drawn family (also when no family is selected).
bool needs_plot_scaling(const GenerateControls& controls);

// Plot scaling step: x(k) /= x(6) for k = 1..6 in order, then x into [left, left + width] (model
// x) and y by (CropMaxY - CropMinY) * y + CropMinY. Faults: x(6) = 0 (a zero divisor, 0 / 0 at
// vertex 1), results beyond the single range (Overflow).
void scale_model_to_plot(EngineState& state, float scale_left, float scale_width);

// How the search draws a family's candidates into ModelX/ModelY: free (abstract steps and
// levels, or for the drawn family inside the manual boxes) and inside the constraint boxes.
// Both set every vertex the family has and copy the last into the later ones.
struct CandidateDraws {
    void (*free)(EngineState& state, const GenerateControls& controls, RandomSource& random);
    void (*constrained)(EngineState& state, RandomSource& random);
};

namespace draws {
extern const CandidateDraws manual, ramp, symmetric, asymmetric, free4, free3, duration;
}

// Reorder pass: three sweeps over k = 2..6; an inversion x(k-1) > x(k) sets both to their mean.
// A strongly disordered draw can keep an inversion.
void reorder_vertices(Vertices& x);

}  // namespace tolvenar
