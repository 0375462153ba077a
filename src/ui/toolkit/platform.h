// SPDX-License-Identifier: GPL-3.0-or-later
// Runtime services beyond the window's controls: message box, file choice, beep, the screen-wide
// mouse pointer, the clipboard, and the guard that runs an event handler for the toolkit.
#pragma once

#include "core/runtime/fault.h"
#include "ui/toolkit/pointer.h"

#include <QImage>
#include <QString>

#include <functional>

class QWidget;

namespace tolvenar {

enum class MsgBoxButtons { OkOnly, YesNo };

// Answer codes of the message box.
inline constexpr int kMsgBoxOk = 1;
inline constexpr int kMsgBoxYes = 6;
inline constexpr int kMsgBoxNo = 7;

// The services that talk to the user outside the window. frmMain holds one; tests replace the
// members to answer dialogs without showing them.
struct Platform {
    // Shows `prompt` with a title and OK or Yes/No (Yes the default, no icon); returns the answer.
    std::function<int(const QString& prompt, MsgBoxButtons buttons, const QString& title)> MsgBox;
    // Asks for a file to open with a Qt name filter such as "DataFile(*.csv)"; "" = cancelled.
    // The desktop's starts in the folder it last opened from, at first in the examples.
    std::function<QString(const QString& filter)> ShowOpen;
    // Asks where to save, starting at `suggested`, with a Qt name filter; "" = cancelled. The
    // desktop's puts the suggested name in the folder it last saved to, once it has.
    std::function<QString(const QString& filter, const QString& suggested)> ShowSave;
    std::function<void()> Beep;
    // Seconds on a monotonic clock for the search's time estimate; only differences matter.
    std::function<double()> MonotonicSeconds;
};

// The desktop's own dialogs, parented to `window`.
Platform desktop_platform(QWidget* window);

// Where the file dialog starts: the shipped examples/ of the source tree when the program runs
// from its build tree, else the installed examples beside the executable's prefix or in the
// system's data folders, else the home folder.
QString examples_folder();

// The screen-wide mouse pointer: pointer::kHourglass over the whole application,
// pointer::kDefault the default again; the other codes of ui/toolkit/pointer.h are accepted too.
void set_screen_mouse_pointer(int code);
int screen_mouse_pointer();

// Empties the clipboard, then puts `picture` on it as a bitmap.
void put_clipboard_picture(const QImage& picture);

// An event the toolkit delivers ends where a fault no routine trapped arrives: the handler stops,
// the window beeps and stays usable.
void end_untrapped_fault(const Fault& fault) noexcept;

template <typename Handler>
void run_event(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (const Fault& fault) {
        end_untrapped_fault(fault);
    }
}

}  // namespace tolvenar
