// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's buttons and the boxes drawn for "Manual constraint" become when a search's
// results are reset ("Reset", a new crop, another family).
#pragma once

#include <cstdint>
#include <optional>

namespace tolvenar {

// The results reset. The boxes drawn for "Manual constraint" go with them unless a result is on
// display, whose vertex count stays for "Reset" to clear. "Run" is enabled for every other family
// and disabled for "Manual constraint", whose boxes are yet to be drawn; it is left as it is
// (nullopt) while a key is held in a crop bound or strip end field.
struct ResultsReset {
    bool forget_boxes = false;
    std::optional<bool> run;
};
ResultsReset results_reset(bool manual, bool result_shown, bool key_held);

// A family chosen, after the reset: another family runs at once ("Run" enabled, and focused;
// "Reset" disabled). "Manual constraint" offers "Reset" while vertices of a result on display
// are left, and else disables "Run" until boxes are drawn. nullopt: the button is left as it is.
struct FamilyChosen {
    std::optional<bool> run;
    std::optional<bool> reset;
};
FamilyChosen family_chosen(bool manual, std::int16_t vertices_left);

}  // namespace tolvenar
