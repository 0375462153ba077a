// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/reset_rules.h"

namespace tolvenar {

ResultsReset results_reset(bool manual, bool result_shown, bool key_held)
{
    ResultsReset after;
    after.forget_boxes = manual && !result_shown;
    if (!key_held)
        after.run = !manual;
    return after;
}

FamilyChosen family_chosen(bool manual, std::int16_t vertices_left)
{
    if (!manual)
        return {true, false};
    if (vertices_left != 0)
        return {std::nullopt, true};
    return {false, std::nullopt};
}

}  // namespace tolvenar
