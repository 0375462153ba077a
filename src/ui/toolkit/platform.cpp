// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/platform.h"

#include "core/runtime/clock.h"
#include "ui/toolkit/pointer.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>

#include <memory>

namespace tolvenar {

namespace {

int ask(QWidget* window, const QString& prompt, MsgBoxButtons buttons, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::NoButton, window);
    if (buttons == MsgBoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return kMsgBoxYes;
    case QMessageBox::No: return kMsgBoxNo;
    default: return kMsgBoxOk;
    }
}

bool is_inside(const QString& path, const QString& folder)
{
    const QString root = QDir::cleanPath(folder);
    const QString inner = QDir::cleanPath(path);
    return inner == root || inner.startsWith(root + QLatin1Char('/'));
}

int g_screen_pointer = pointer::kDefault;  // the screen-wide pointer code last set

}  // namespace

Platform desktop_platform(QWidget* window)
{
    const QPointer<QWidget> parent(window);
    // The folders the dialogs last chose in, for as long as the program runs.
    struct Folders {
        QString open;
        QString save;
    };
    const auto folders = std::make_shared<Folders>();
    Platform platform;
    platform.MsgBox = [parent](const QString& prompt, MsgBoxButtons buttons, const QString& title) {
        return ask(parent, prompt, buttons, title);
    };
    platform.ShowOpen = [parent, folders](const QString& filter) {
        const QString chosen = QFileDialog::getOpenFileName(
            parent, QString(), folders->open.isEmpty() ? examples_folder() : folders->open, filter);
        if (!chosen.isEmpty())
            folders->open = QFileInfo(chosen).absolutePath();
        return chosen;
    };
    // The file name field has the focus: a full path typed and Return saves there.
    platform.ShowSave = [parent, folders](const QString& filter, const QString& suggested) {
        const QString start = folders->save.isEmpty()
                                  ? suggested
                                  : QDir(folders->save).filePath(QFileInfo(suggested).fileName());
        const QString chosen =
            QFileDialog::getSaveFileName(parent, QStringLiteral("Save"), start, filter);
        if (!chosen.isEmpty())
            folders->save = QFileInfo(chosen).absolutePath();
        return chosen;
    };
    platform.Beep = [] { QApplication::beep(); };
    platform.MonotonicSeconds = &monotonic_seconds;
    return platform;
}

QString examples_folder()
{
#if defined(TOLVENAR_SOURCE_DIR) && defined(TOLVENAR_BINARY_DIR)
    if (is_inside(QCoreApplication::applicationDirPath(), QStringLiteral(TOLVENAR_BINARY_DIR))) {
        const QString shipped = QStringLiteral(TOLVENAR_SOURCE_DIR "/examples");
        if (QFileInfo(shipped).isDir())
            return shipped;
    }
#endif
#if defined(TOLVENAR_EXAMPLES_FROM_BINDIR)
    const QDir program_folder(QCoreApplication::applicationDirPath());
    const QString beside =
        QDir::cleanPath(program_folder.filePath(QStringLiteral(TOLVENAR_EXAMPLES_FROM_BINDIR)));
    if (QFileInfo(beside).isDir())
        return beside;
#endif
    const QString installed = QStandardPaths::locate(
        QStandardPaths::GenericDataLocation, QStringLiteral("tolvenar/examples"),
        QStandardPaths::LocateDirectory);
    return installed.isEmpty() ? QDir::homePath() : installed;
}

void set_screen_mouse_pointer(int code)
{
    const QCursor cursor = pointer::cursor_of(code);  // refuses unknown codes
    if (code == pointer::kDefault) {
        if (g_screen_pointer != pointer::kDefault)
            QGuiApplication::restoreOverrideCursor();
    } else if (g_screen_pointer == pointer::kDefault) {
        QGuiApplication::setOverrideCursor(cursor);
    } else {
        QGuiApplication::changeOverrideCursor(cursor);
    }
    g_screen_pointer = code;
}

int screen_mouse_pointer()
{
    return g_screen_pointer;
}

void put_clipboard_picture(const QImage& picture)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(picture);
}

void end_untrapped_fault(const Fault&) noexcept
{
    QApplication::beep();
}

}  // namespace tolvenar
