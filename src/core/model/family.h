// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvenar {

// A model family is the index of its option button in the window; the values are fixed.
enum class ModelFamily : std::int16_t {
    ManualConstraint = 0,
    SimpleRamp = 1,
    SymmetricEvent = 2,
    AsymmetricEvent = 3,
    Free4Segments = 4,
    Free3Segments = 5,
    EventWithDuration = 6,
};

inline constexpr int kFamilyCount = 7;

// Vertices of the family ("Manual constraint": 0, one more per box drawn).
constexpr std::int16_t node_count_of(ModelFamily family)
{
    switch (family) {
    case ModelFamily::ManualConstraint: return 0;
    case ModelFamily::SimpleRamp: return 4;
    case ModelFamily::SymmetricEvent: return 5;
    case ModelFamily::AsymmetricEvent: return 5;
    case ModelFamily::Free4Segments: return 5;
    case ModelFamily::Free3Segments: return 4;
    case ModelFamily::EventWithDuration: return 6;
    }
    return 0;
}

// The caption of the family's option button, e.g. "Simple ramp".
std::string_view family_caption(ModelFamily family);

// The family named by its caption or its short name (ramp, symmetric, asymmetric, free4, free3,
// duration, manual); nullopt for any other text.
std::optional<ModelFamily> family_from_name(std::string_view name);

}  // namespace tolvenar
