// SPDX-License-Identifier: GPL-3.0-or-later
// The window beyond its design size, resized or maximised: the overview strip and the working
// plot take the room it gains, and every other control keeps its place beside them. The plots'
// user scales stay; only their pixels per unit change.
#include "ui/app/frm_main.h"

#include <QResizeEvent>

#include <cstdint>

namespace tolvenar {

namespace {

// The lines a control's edges keep to. Across, the window's left side stays and its right side
// moves by the width gained. Down, the top stays, the strip's foot moves by a fifth of the height
// gained (the strip's share) and the bottom by all of it.
enum class Across : std::uint8_t { Left, Right };
enum class Down : std::uint8_t { Top, StripFoot, Bottom };

struct Anchors {
    Across left;
    Across right;
    Down top;
    Down bottom;
};

QMargins shift_of(const Anchors& anchors, QSize gained)
{
    const auto across = [&](Across edge) { return edge == Across::Right ? gained.width() : 0; };
    const auto down = [&](Down edge) {
        switch (edge) {
        case Down::Top: return 0;
        case Down::StripFoot: return gained.height() / 5;
        case Down::Bottom: break;
        }
        return gained.height();
    };
    return {across(anchors.left), down(anchors.top), across(anchors.right), down(anchors.bottom)};
}

}  // namespace

QSize frmMain::design_size()
{
    return {pixels_of_twips(kClientWidthTwips), pixels_of_twips(kClientHeightTwips)};
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    const QSize gained = (size() - design_size()).expandedTo(QSize(0, 0));
    const auto keep = [gained](auto* control, const Anchors& anchors) {
        control->setShift(shift_of(anchors, gained));
    };
    using enum Across;
    using enum Down;
    // The strip and what sits just below it.
    keep(Picture2, {Left, Right, Top, StripFoot});
    keep(Text7, {Left, Left, StripFoot, StripFoot});
    keep(Text8, {Right, Right, StripFoot, StripFoot});
    // The left column: its buttons and frames at the top, "Save" and "Quit" at the bottom.
    keep(Command1, {Left, Left, StripFoot, StripFoot});
    keep(Frame4, {Left, Left, StripFoot, StripFoot});
    keep(Command7, {Left, Left, StripFoot, StripFoot});
    keep(Frame6, {Left, Left, StripFoot, StripFoot});
    keep(Command6, {Left, Left, Bottom, Bottom});
    keep(Command4, {Left, Left, Bottom, Bottom});
    // The convergence plot over the working plot, as wide; the fields at the plot's corners.
    keep(Label7, {Left, Left, StripFoot, StripFoot});
    keep(Label8, {Right, Right, StripFoot, StripFoot});
    keep(Picture3, {Left, Right, StripFoot, StripFoot});
    keep(Picture1, {Left, Right, StripFoot, Bottom});
    keep(Text1, {Right, Right, StripFoot, StripFoot});
    keep(Text2, {Right, Right, Bottom, Bottom});
    keep(Text4, {Left, Left, Bottom, Bottom});
    keep(Text5, {Right, Right, Bottom, Bottom});
    // The right column: the families at the top, the result at the bottom.
    keep(Frame1, {Right, Right, StripFoot, StripFoot});
    keep(Frame3, {Right, Right, StripFoot, StripFoot});
    keep(Frame5, {Right, Right, Bottom, Bottom});
    keep(ProgressBar1, {Left, Right, Bottom, Bottom});
    keep(ProgressBar2, {Left, Right, Bottom, Bottom});
}

}  // namespace tolvenar
