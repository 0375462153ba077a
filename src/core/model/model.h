// SPDX-License-Identifier: GPL-3.0-or-later
// The plain values the fits speak in: a model's vertices, boxes around them, the convergence
// trace's points and the sentinels that mark each as unset or empty.
#pragma once

#include <array>
#include <limits>

namespace tolvenar {

// Per-vertex values; element k belongs to vertex k = 1..6, element 0 is used only where noted.
using Vertices = std::array<float, 7>;

inline constexpr float kUnsetVertex = -9999.0f;         // unset best-model vertex or manual box
inline constexpr float kEmptyLowerLimit = 999999.0f;    // empty constraint lower limit
inline constexpr float kEmptyUpperLimit = -999999.0f;   // empty constraint upper limit
// "No value yet" for the best-of-best squared distance after a reset and a run's best at its
// start: any finite sum of squares beats it, however large the data's y.
inline constexpr float kUnsetBestOfBest = std::numeric_limits<float>::infinity();
inline constexpr float kRunBestStart = std::numeric_limits<float>::infinity();
inline constexpr int kConvergenceSlots = 500;           // points 1..500; slot 0 holds no point

// A model polyline: vertex k = 1..6 at index k of x and y; x in model x (see CropOrigin), y in
// data units.
struct Model {
    Vertices x{};
    Vertices y{};
};

// Boxes around the vertices: box k = 1..6 at index k. An empty box has its lower limits above
// its upper ones (kEmptyLowerLimit, kEmptyUpperLimit); an unset manual box holds kUnsetVertex.
struct BoxLimits {
    Vertices xmin{};
    Vertices xmax{};
    Vertices ymin{};
    Vertices ymax{};
};

struct ConvergencePoint {
    float x = 0.0f;  // TrialCount at the new overall best
    float y = 0.0f;  // BestSqDist then
};

}  // namespace tolvenar
