// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls beyond the plots: text fields, check boxes, option buttons, labels,
// buttons, progress bars, frames and the logo image. Each event goes to a handler member that
// frmMain connects; a handler fired by a write from code runs before the write returns, and a
// fault in it travels to the writer.
#pragma once

#include "ui/toolkit/control.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>
#include <functional>
#include <string_view>

namespace tolvenar {

// A text of the core (number text, captions) as a control's text.
inline QString qtext(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

using KeyHandler = std::function<void(std::int16_t KeyCode, std::int16_t Shift)>;

// Key code of a key event in the runtime's numbering (letters and digits as their capitals'
// character codes, 8 backspace, 13 enter, 46 delete, ...); 0 for keys it has no code for.
std::int16_t key_code_of(int qt_key, Qt::KeyboardModifiers modifiers);

class TextField : public Control<QLineEdit> {
public:
    explicit TextField(QWidget* parent);

    QString Text() const { return text(); }
    // A different text fires the change handler before this returns; the same text fires nothing.
    // Without the keyboard focus the field shows the text's start.
    void setText(const QString& text);

    std::function<void()> onChange;  // also on every edit by the user
    KeyHandler onKeyDown;            // before the key's edit reaches the text
    KeyHandler onKeyUp;              // after it; once for a key held down

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

class CheckBox : public Control<QCheckBox> {
public:
    CheckBox(const QString& caption, QWidget* parent);

    int Value() const;  // 0 unchecked, 1 checked, 2 greyed
    // A new value fires the click handler before this returns; a value outside 0..2 raises
    // InvalidPropertyValue.
    void setValue(int value);

    std::function<void()> onClick;  // on every change of Value, by the user or from code

protected:
    void nextCheckState() override;  // a click ticks or unticks; only code greys the box
};

class OptionButton : public Control<QRadioButton> {
public:
    OptionButton(const QString& caption, QWidget* parent);

    bool Value() const { return isChecked(); }
    // Value = True: selects this button, clears the others of its container and fires the click
    // handler, also when it was selected already. (The window never clears a family.)
    void select();

    std::function<void()> onClick;  // after the button became selected

private:
    bool m_writing = false;
};

class Label : public Control<QLabel> {
public:
    Label(const QString& caption, QWidget* parent);  // top left aligned; setAlignment changes it

    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }
    void Refresh() { repaint(); }
};

class CommandButton : public Control<QPushButton> {
public:
    CommandButton(const QString& caption, QWidget* parent);

    QString Caption() const { return text(); }
    std::function<void()> onClick;

protected:
    void keyPressEvent(QKeyEvent* event) override;  // Enter presses the focused button, as Space
};

// Min, Max and Value are single precision as written (Overflow beyond it); any combination is
// accepted and shown clamped, an empty range as an empty bar.
class ProgressBar : public Control<QProgressBar> {
public:
    explicit ProgressBar(QWidget* parent);

    float Min() const { return m_min; }
    float Max() const { return m_max; }
    float Value() const { return m_value; }
    void setMin(double value);
    void setMax(double value);
    void setValue(double value);
    bool Visible() const { return !isHidden(); }

    // While deferred, Min, Max and Value are stored and read back at once but reach the bar only
    // at showPending() or when deferring ends: a search writes them on every trial and shows
    // them once per display frame.
    void setDisplayDeferred(bool deferred);
    void showPending();

private:
    void showValue();

    float m_min = 0.0f;
    float m_max = 100.0f;
    float m_value = 0.0f;
    bool m_deferred = false;
    bool m_pending = false;  // a write not yet shown
};

// A frame: an etched border with its caption; disabling it greys its members.
class Frame : public Control<QGroupBox> {
public:
    Frame(const QString& caption, QWidget* parent);

    QString Caption() const { return title(); }
    int BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);  // 0 none, 1 the etched border; else InvalidPropertyValue

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_borderStyle = 1;
};

// A picture stretched to the control; a disabled frame does not grey it.
class ImageBox : public Control<QWidget> {
public:
    explicit ImageBox(QWidget* parent);
    QImage Picture() const { return m_picture; }
    void setPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

}  // namespace tolvenar
