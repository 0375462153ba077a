// SPDX-License-Identifier: GPL-3.0-or-later
// Crop bound fields: typed bounds of the crop window (Text4, Text5) and of the overview strip
// (Text7, Text8). A key-down raises BoxTyping before the toolkit delivers the typed change, so
// the change handlers act on typing and only show the program's own writes.
#include "ui/app/frm_main.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

namespace tolvenar {

namespace {

double val(const TextField& field)
{
    return parse_leading_number(field.Text().toStdString());
}

// The crop window [left, left + width] with the working plot on [plot_left, plot_left +
// plot_width], checked whole before anything moves: a value beyond the single range, a negative
// window width or a zero plot width raises the fault the controls would raise, with nothing
// changed. applyTo moves the window and crops.
struct TypedWindow {
    float left;
    float width;
    float plot_left;
    float plot_width;

    TypedWindow(double window_left, double window_width, double plot_left_, double plot_width_)
        : left(to_single(window_left)),
          width(to_single(window_width)),
          plot_left(to_single(plot_left_)),
          plot_width(to_single(plot_width_))
    {
        if (width < 0.0f)
            throw Fault(FaultKind::InvalidPropertyValue, "Shape.Width");
        if (plot_width == 0.0f)
            throw Fault(FaultKind::InvalidPropertyValue, "ScaleWidth");
    }

    void applyTo(frmMain& w) const
    {
        w.Shape1->setLeft(left);
        w.Shape1->setWidth(width);
        w.Picture1->setScaleLeft(plot_left);
        w.Picture1->setScaleWidth(plot_width);
        w.CropCurve();
    }
};

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

// The window's left edge. Equal texts, and every fault of applying the bound, end in the
// recovery: the left edge becomes the right edge - 1.5, rounded half to even, and that write
// comes back here to be applied.
void frmMain::Text4_Change()
{
    if (!state.BoxTyping)
        return;
    if (Text4->Text() != Text5->Text()) {
        try {
            if (!state.CropDrawn)
                return;
            const double left = val(*Text4);
            const double right = val(*Text5);
            TypedWindow(left, right - left, left, right - left).applyTo(*this);
            return;
        } catch (const Fault&) {
        }
    }
    Text4->setText(qtext(number_text(round_half_even(val(*Text5) - 1.5, 0))));
}

// The window's right edge. A right edge below the left one is taken as it stands: the window
// spans the two values and the fields keep their texts. Equal values and faults end in the
// recovery: the right edge becomes the left edge + 1.5, rounded half to even.
void frmMain::Text5_Change()
{
    if (!state.BoxTyping)
        return;
    if (Text4->Text() != Text5->Text()) {
        try {
            if (!state.CropDrawn)
                return;
            const double left = val(*Text4);
            const double right = val(*Text5);
            const TypedWindow window = right > left
                                           ? TypedWindow(left, right - left, left, right - left)
                                           : TypedWindow(right, left - right, left, right - left);
            window.applyTo(*this);
            return;
        } catch (const Fault&) {
        }
    }
    Text5->setText(qtext(number_text(round_half_even(val(*Text4) + 1.5, 0))));
}

namespace {

// The strip's x range [left, left + width] as typed, or nothing when it cannot be one: a value
// beyond the single range (or the double range) is refused and the strip keeps its range.
struct TypedStrip {
    bool valid = false;
    float left = 0.0f;
    float width = 0.0f;
};

TypedStrip typed_strip(double left, double right)
{
    try {
        TypedStrip strip{true, to_single(left), to_single(right - left)};
        strip.valid = strip.width != 0.0f;
        return strip;
    } catch (const Fault&) {
        return {};
    }
}

// The strip takes the range [left, right] (left < right); the crop window keeps its place on the
// screen and so now stands for another span of data, which the bound fields show (as display
// writes) and the crop takes.
void apply_strip_range(frmMain& w, double left, double right)
{
    const TypedStrip strip = typed_strip(left, right);
    if (!strip.valid)
        return;
    w.Picture2->setScaleLeft(strip.left);
    w.Picture2->setScaleWidth(strip.width);
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
    }
}

// A strip end typed into `typed` (Text7 or Text8). Ends out of order are repaired one unit apart
// from the other end, unrounded; the repair write re-enters the change handler.
void type_strip_end(frmMain& w, TextField& typed)
{
    double left = 0.0;
    double right = 0.0;
    try {
        left = val(*w.Text7);
        right = val(*w.Text8);
    } catch (const Fault&) {
        return;  // beyond the double range: refused like a value beyond the single range
    }
    if (right <= left) {
        const double repaired = &typed == w.Text7 ? right - 1.0 : left + 1.0;
        typed.setText(qtext(number_text(repaired)));
        return;
    }
    apply_strip_range(w, left, right);
}

}  // namespace

// The strip's left end. One at or beyond the right end is replaced by the right end - 1, and that
// write comes back here to be applied.
void frmMain::Text7_Change()
{
    if (state.BoxTyping)
        type_strip_end(*this, *Text7);
}

// The strip's right end; one at or below the left end becomes the left end + 1.
void frmMain::Text8_Change()
{
    if (state.BoxTyping)
        type_strip_end(*this, *Text8);
}

}  // namespace tolvenar
