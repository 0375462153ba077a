// SPDX-License-Identifier: GPL-3.0-or-later
// The window's own data: the interaction flags of the handlers. What is fitted (the series, the
// crop, the boxes and the results) lives in the window's fit session. Every field is zero at
// program start; Form_Load gives the start-up values.
#pragma once

#include "core/model/box_rules.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tolvenar {

struct ProgramState {
    std::int16_t CurrentSet = 0;     // data set in use; 1 from start-up on, never changed
    std::string DataFile;            // the imported file's full path; "" before an import
    bool FieldCheckFailed = false;   // the import's field check rejected the file

    bool BoxTyping = false;        // a key went down in a crop bound or strip end field
    bool PreviewDrawn = false;     // the overview strip has been drawn once
    bool CropDrawn = false;        // the cropped data have been drawn once
    bool BestOfBestShown = false;  // the best of best is drawn on the working plot

    // The crop bounds as last typed, lower first, in data x. While the crop window marker still
    // stands where they put it, the crop takes their own digits: the strip holds singles, too
    // coarse for a crop far from zero.
    std::optional<std::pair<double, double>> TypedCrop;
    // Why the crop window was last refused, as one line; empty while the crop is taken.
    std::string CropRefusal;
    bool CropRefusalUnsaid = false;  // newly refused: its box comes once the change is complete

    bool DragLeftEdge = false;   // the crop window's left edge is being dragged
    bool DragRightEdge = false;  // its right edge is being dragged
    bool DragWindow = false;     // the whole window is being moved
    float GrabOffset = 0.0f;     // mouse x - window left edge at the start of a window move
    float AnchorRight = 0.0f;    // window right edge at the start of a left-edge drag

    bool BoxDrawing = false;    // a manual box is being drawn
    bool EdgeDragging = false;  // a constraint-box edge is being dragged
    std::int16_t EdgeBox = 0;   // vertex 1..6 whose box edge is under the mouse; 0 none
    BoxEdge EdgeSide = BoxEdge::None;  // the limit of that box the edge drag moves
};

}  // namespace tolvenar
