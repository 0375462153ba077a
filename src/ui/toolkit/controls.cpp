// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/controls.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "ui/toolkit/platform.h"

#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvenar {

namespace {

std::int16_t shift_of(Qt::KeyboardModifiers modifiers)
{
    std::int16_t code = 0;
    if (modifiers & Qt::ShiftModifier)
        code |= 1;
    if (modifiers & Qt::ControlModifier)
        code |= 2;
    if (modifiers & Qt::AltModifier)
        code |= 4;
    return code;
}

}  // namespace

std::int16_t key_code_of(int qt_key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9)
            return static_cast<std::int16_t>(96 + qt_key - Qt::Key_0);
        switch (qt_key) {
        case Qt::Key_Asterisk: return 106;
        case Qt::Key_Plus: return 107;
        case Qt::Key_Minus: return 109;
        case Qt::Key_Period: return 110;
        case Qt::Key_Slash: return 111;
        default: break;
        }
    }
    const bool letter = qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z;
    const bool digit = qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9;
    if (letter || digit)
        return static_cast<std::int16_t>(qt_key);
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F16)
        return static_cast<std::int16_t>(112 + qt_key - Qt::Key_F1);
    switch (qt_key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Plus:
    case Qt::Key_Equal: return 187;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Minus: return 189;
    case Qt::Key_Period: return 190;
    default: return 0;
    }
}

// ---- TextField ----

TextField::TextField(QWidget* parent) : Control<QLineEdit>(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (onChange)
            run_event(onChange);
    });
}

void TextField::setText(const QString& text)
{
    if (text == QLineEdit::text())
        return;
    QLineEdit::setText(text);
    // A narrow field shows the start of a number the program wrote; one being typed in keeps
    // its caret where the typing goes on.
    if (!hasFocus())
        setCursorPosition(0);
    if (onChange)
        onChange();
}

void TextField::keyPressEvent(QKeyEvent* event)
{
    if (onKeyDown) {
        const auto modifiers = event->modifiers();
        run_event([&] { onKeyDown(key_code_of(event->key(), modifiers), shift_of(modifiers)); });
    }
    QLineEdit::keyPressEvent(event);
}

void TextField::keyReleaseEvent(QKeyEvent* event)
{
    QLineEdit::keyReleaseEvent(event);
    if (event->isAutoRepeat() || !onKeyUp)
        return;
    const auto modifiers = event->modifiers();
    run_event([&] { onKeyUp(key_code_of(event->key(), modifiers), shift_of(modifiers)); });
}

// ---- CheckBox ----

CheckBox::CheckBox(const QString& caption, QWidget* parent) : Control<QCheckBox>(caption, parent)
{
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onClick)
            run_event(onClick);
    });
}

int CheckBox::Value() const
{
    switch (checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

void CheckBox::setValue(int value)
{
    if (value < 0 || value > 2)
        throw Fault(FaultKind::InvalidPropertyValue, "CheckBox.Value");
    if (value == Value())
        return;
    setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
    if (onClick)
        onClick();
}

void CheckBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

// ---- OptionButton ----

OptionButton::OptionButton(const QString& caption, QWidget* parent)
    : Control<QRadioButton>(caption, parent)
{
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on && !m_writing && onClick)
            run_event(onClick);
    });
}

void OptionButton::select()
{
    m_writing = true;
    setChecked(true);
    m_writing = false;
    if (onClick)
        onClick();
}

// ---- Label ----

Label::Label(const QString& caption, QWidget* parent) : Control<QLabel>(caption, parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

// ---- CommandButton ----

CommandButton::CommandButton(const QString& caption, QWidget* parent)
    : Control<QPushButton>(caption, parent)
{
    setAutoDefault(false);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onClick)
            run_event(onClick);
    });
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()
        && event->modifiers() == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

// ---- ProgressBar ----

namespace {
constexpr int kProgressSteps = 10000;  // resolution of the bar drawn for a Min..Max range
}

ProgressBar::ProgressBar(QWidget* parent) : Control<QProgressBar>(parent)
{
    setTextVisible(false);
    setRange(0, kProgressSteps);
    showValue();
}

void ProgressBar::setMin(double value)
{
    m_min = to_single(value);
    showValue();
}

void ProgressBar::setMax(double value)
{
    m_max = to_single(value);
    showValue();
}

void ProgressBar::setValue(double value)
{
    m_value = to_single(value);
    showValue();
}

void ProgressBar::setDisplayDeferred(bool deferred)
{
    m_deferred = deferred;
    if (!deferred)
        showPending();
}

void ProgressBar::showPending()
{
    if (!m_pending)
        return;
    const bool deferred = std::exchange(m_deferred, false);
    showValue();
    m_deferred = deferred;
}

void ProgressBar::showValue()
{
    if (m_deferred) {
        m_pending = true;
        return;
    }
    m_pending = false;
    const double span = static_cast<double>(m_max) - m_min;
    double share = span > 0.0 ? (static_cast<double>(m_value) - m_min) / span : 0.0;
    if (!(share >= 0.0))  // also NaN
        share = 0.0;
    share = std::min(share, 1.0);
    QProgressBar::setValue(static_cast<int>(std::lround(share * kProgressSteps)));
}

// ---- Frame ----

Frame::Frame(const QString& caption, QWidget* parent) : Control<QGroupBox>(caption, parent)
{
}

void Frame::setBorderStyle(int style)
{
    if (style != 0 && style != 1)
        throw Fault(FaultKind::InvalidPropertyValue, "Frame.BorderStyle");
    m_borderStyle = style;
    update();
}

void Frame::paintEvent(QPaintEvent*)
{
    if (m_borderStyle == 0)
        return;
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int line_y = metrics.height() / 2;  // the border runs through the caption's middle
    const QRect box = rect().adjusted(0, line_y, -1, -1);
    // Etched: a shadow line with a light line one pixel right and below it.
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.adjusted(1, 1, 0, 0));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    const QString caption = title();
    if (caption.isEmpty())
        return;
    const int indent = 6;  // pixels from the frame's left edge to the caption
    const QRect text_rect(indent, 0, metrics.horizontalAdvance(caption), metrics.height());
    p.fillRect(text_rect, palette().color(QPalette::Window));
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                             QPalette::WindowText));
    p.drawText(text_rect, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

// ---- ImageBox ----

ImageBox::ImageBox(QWidget* parent) : Control<QWidget>(parent)
{
}

void ImageBox::setPicture(const QImage& picture)
{
    m_picture = picture;
    update();
}

void ImageBox::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), m_picture);
}

}  // namespace tolvenar
