// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/family.h"

#include <array>

namespace tolvenar {

namespace {
struct FamilyName {
    ModelFamily family;
    std::string_view caption;
    std::string_view short_name;
};

constexpr std::array<FamilyName, kFamilyCount> kNames{{
    {ModelFamily::ManualConstraint, "Manual constraint", "manual"},
    {ModelFamily::SimpleRamp, "Simple ramp", "ramp"},
    {ModelFamily::SymmetricEvent, "Symmetric event", "symmetric"},
    {ModelFamily::AsymmetricEvent, "Asymmetric event", "asymmetric"},
    {ModelFamily::Free4Segments, "Free 4 segments", "free4"},
    {ModelFamily::Free3Segments, "Free 3 segments", "free3"},
    {ModelFamily::EventWithDuration, "Event with duration", "duration"},
}};
}  // namespace

std::string_view family_caption(ModelFamily family)
{
    return kNames[static_cast<std::size_t>(family)].caption;
}

std::optional<ModelFamily> family_from_name(std::string_view name)
{
    for (const auto& entry : kNames)
        if (name == entry.caption || name == entry.short_name)
            return entry.family;
    return std::nullopt;
}

}  // namespace tolvenar
