// SPDX-License-Identifier: GPL-3.0-or-later
// Crop bound fields: typed bounds of the crop window (Text4, Text5) and of the overview strip
// (Text7, Text8). A key-down raises BoxTyping before the toolkit delivers the typed change, so
// the change handlers act on typing and only show the program's own writes.
#include "ui/app/frm_main.h"

#include "core/runtime/numbers.h"
#include "core/window/bound_rules.h"

#include <algorithm>
#include <string>

namespace tolvenar {

namespace {

std::string text_of(const TextField& field)
{
    return field.Text().toStdString();
}

// Moves the window and the working plot's x scale to a typed bound and crops, or repairs the
// typed field; that write comes back to the field's change handler.
void apply(frmMain& w, TextField& typed, const TypedBound& bound)
{
    switch (bound.action) {
    case BoundAction::Apply:
        // The crop takes the typed digits, which the marker's singles may not hold.
        w.state.TypedCrop = std::minmax(parse_leading_number(text_of(*w.Text4)),
                                        parse_leading_number(text_of(*w.Text5)));
        w.Shape1->setLeft(bound.left);
        w.Shape1->setWidth(bound.width);
        w.Picture1->setScaleLeft(bound.plot_left);
        w.Picture1->setScaleWidth(bound.plot_width);
        w.CropCurve();
        w.SayCropRefusal();
        break;
    case BoundAction::Repair: typed.setText(qtext(bound.repair)); break;
    case BoundAction::None: break;
    }
}

// The strip takes the typed range; the crop window keeps its place on the screen and so now
// stands for another span of data, which the bound fields show (as display writes) and the crop
// takes. Ends out of order repair the typed field instead.
void apply(frmMain& w, TextField& typed, const StripEnds& ends)
{
    if (ends.action == BoundAction::Repair)
        typed.setText(qtext(ends.repair));
    if (ends.action != BoundAction::Apply)
        return;
    w.state.TypedCrop.reset();  // the marker now stands for other bounds
    w.Picture2->setScaleLeft(ends.left);
    w.Picture2->setScaleWidth(ends.width);
    w.Picture1->setScaleLeft(w.Shape1->Left());
    w.Picture1->setScaleWidth(w.Shape1->Width());

    w.state.BoxTyping = false;
    const float window_left = w.Shape1->Left();
    w.Text4->setText(qtext(number_text(window_left)));
    w.Text5->setText(qtext(number_text(w.Shape1->Width() + window_left)));
    w.state.BoxTyping = true;

    w.DrawPreview();
    if (w.state.CropDrawn) {
        w.CropCurve();
        w.DrawCrop();
        w.SayCropRefusal();
    }
}

}  // namespace

void frmMain::Text4_KeyDown(std::int16_t, std::int16_t)
{
    state.BoxTyping = true;
}

void frmMain::Text4_KeyUp(std::int16_t, std::int16_t)
{
    state.BoxTyping = false;
}

void frmMain::Text5_KeyDown(std::int16_t, std::int16_t)
{
    state.BoxTyping = true;
}

void frmMain::Text5_KeyUp(std::int16_t, std::int16_t)
{
    state.BoxTyping = false;
}

void frmMain::Text7_KeyDown(std::int16_t, std::int16_t)
{
    state.BoxTyping = true;
}

void frmMain::Text8_KeyDown(std::int16_t, std::int16_t)
{
    state.BoxTyping = true;
}

void frmMain::Text4_Change()
{
    if (state.BoxTyping)
        apply(*this, *Text4, typed_left_edge(text_of(*Text4), text_of(*Text5), state.CropDrawn));
}

void frmMain::Text5_Change()
{
    if (state.BoxTyping)
        apply(*this, *Text5, typed_right_edge(text_of(*Text4), text_of(*Text5), state.CropDrawn));
}

void frmMain::Text7_Change()
{
    if (state.BoxTyping)
        apply(*this, *Text7, typed_strip_end(text_of(*Text7), text_of(*Text8), true));
}

void frmMain::Text8_Change()
{
    if (state.BoxTyping)
        apply(*this, *Text8, typed_strip_end(text_of(*Text7), text_of(*Text8), false));
}

}  // namespace tolvenar
