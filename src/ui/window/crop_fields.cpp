// SPDX-License-Identifier: GPL-3.0-or-later
// Crop bound fields: typed bounds of the crop window (Text4, Text5) and of the overview strip
// (Text7, Text8). A key-down raises BoxTyping before the toolkit delivers the typed change, so
// the change handlers act on typing and only show the program's own writes. For a file of dates
// the fields show and take the file's own dates; the rules read them as number text.
#include "ui/app/frm_main.h"

#include "core/data/x_form.h"
#include "core/runtime/numbers.h"
#include "core/window/bound_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

namespace tolvenar {

namespace {

// The texts of two fields as the bound rules read them; nullopt while either holds no complete
// date of the file's form.
std::optional<std::pair<std::string, std::string>> rule_texts(const frmMain& w,
                                                              const TextField& left,
                                                              const TextField& right)
{
    const std::optional<std::string> l = w.XNumberText(left.Text());
    const std::optional<std::string> r = w.XNumberText(right.Text());
    if (!l || !r)
        return std::nullopt;
    return std::pair{*l, *r};
}

// A repair text from the rules, in the field's form.
QString repair_text(const frmMain& w, const std::string& repair)
{
    return w.XText(parse_leading_number(repair), repair);
}

// Moves the window and the working plot's x scale to a typed bound and crops, or repairs the
// typed field; that write comes back to the field's change handler.
void apply(frmMain& w, TextField& typed, const TypedBound& bound)
{
    switch (bound.action) {
    case BoundAction::Apply:
        // The crop takes the typed digits, which the marker's singles may not hold.
        w.state.TypedCrop = std::minmax(parse_leading_number(*w.XNumberText(w.Text4->Text())),
                                        parse_leading_number(*w.XNumberText(w.Text5->Text())));
        w.Shape1->setLeft(bound.left);
        w.Shape1->setWidth(bound.width);
        w.Picture1->setScaleLeft(bound.plot_left);
        w.Picture1->setScaleWidth(bound.plot_width);
        w.CropCurve();
        w.SayCropRefusal();
        break;
    case BoundAction::Repair: typed.setText(repair_text(w, bound.repair)); break;
    case BoundAction::None: break;
    }
}

// The strip takes the typed range; the crop window keeps its place on the screen and so now
// stands for another span of data, which the bound fields show (as display writes) and the crop
// takes. Ends out of order repair the typed field instead.
void apply(frmMain& w, TextField& typed, const StripEnds& ends)
{
    if (ends.action == BoundAction::Repair)
        typed.setText(repair_text(w, ends.repair));
    if (ends.action != BoundAction::Apply)
        return;
    w.state.TypedCrop.reset();  // the marker now stands for other bounds
    w.Picture2->setScaleLeft(ends.left);
    w.Picture2->setScaleWidth(ends.width);
    w.Picture1->setScaleLeft(w.Shape1->Left());
    w.Picture1->setScaleWidth(w.Shape1->Width());

    w.state.BoxTyping = false;
    const float window_left = w.Shape1->Left();
    const float window_right = w.Shape1->Width() + window_left;
    w.Text4->setText(w.XText(window_left, number_text(window_left)));
    w.Text5->setText(w.XText(window_right, number_text(window_right)));
    w.state.BoxTyping = true;

    w.DrawPreview();
    if (w.state.CropDrawn) {
        w.CropCurve();
        w.DrawCrop();
        w.SayCropRefusal();
    }
}

}  // namespace

void frmMain::LayOutForXForm()
{
    const bool dates = session.x_form().is_date();
    // Left, top and width in twips; the right-hand fields keep their right edges.
    Text7->place(120, 1320, dates ? 1800 : 735, 285);
    Text8->place(dates ? 8655 : 9720, 1320, dates ? 1800 : 735, 285);
    Text4->place(2640, 7440, dates ? 1650 : 735, 285);
    Text5->place(dates ? 4845 : 5760, 7440, dates ? 1650 : 735, 285);
    for (int i = 1; i <= 6; ++i) {
        Label2[i]->place(240, Label2[i]->Top(), dates ? 1935 : 1335, 255);
        Label3[i]->place(dates ? 2220 : 1680, Label3[i]->Top(), dates ? 855 : 1335, 255);
    }
}

QString frmMain::XText(double x, const std::string& number) const
{
    const XForm& form = session.x_form();
    return qtext(form.is_date() ? x_text(x, form) : number);
}

std::optional<std::string> frmMain::XNumberText(const QString& text) const
{
    const XForm& form = session.x_form();
    if (!form.is_date())
        return text.toStdString();
    // A date-time is complete with the file's fields of the time of day: typed key by key it
    // passes its bare date and its hours and minutes first, which would move the bound there.
    if (form.kind == XKind::DateTime) {
        const std::optional<IsoTime> time = parse_iso_time(text.toStdString());
        if (!time || time->time_fields < form.time_fields)
            return std::nullopt;
    }
    const std::optional<double> x = parse_x(text.toStdString(), form);
    if (!x)
        return std::nullopt;
    std::array<char, 32> digits{};  // every digit of the double, so the rules read it back exactly
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), *x);
    return std::string(digits.data(), written.ptr);
}

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
    const auto texts = rule_texts(*this, *Text4, *Text5);
    if (state.BoxTyping && texts)
        apply(*this, *Text4, typed_left_edge(texts->first, texts->second, state.CropDrawn));
}

void frmMain::Text5_Change()
{
    const auto texts = rule_texts(*this, *Text4, *Text5);
    if (state.BoxTyping && texts)
        apply(*this, *Text5, typed_right_edge(texts->first, texts->second, state.CropDrawn));
}

void frmMain::Text7_Change()
{
    const auto texts = rule_texts(*this, *Text7, *Text8);
    if (state.BoxTyping && texts)
        apply(*this, *Text7, typed_strip_end(texts->first, texts->second, true));
}

void frmMain::Text8_Change()
{
    const auto texts = rule_texts(*this, *Text7, *Text8);
    if (state.BoxTyping && texts)
        apply(*this, *Text8, typed_strip_end(texts->first, texts->second, false));
}

}  // namespace tolvenar
