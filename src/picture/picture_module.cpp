// SPDX-License-Identifier: GPL-3.0-or-later
// The renderer as tolvenar-fit's module, loaded only when a picture is written, so that a search
// alone does not load Qt.
#include "picture/picture_writer.h"

#include <QGuiApplication>

// Called once on the thread that loads the module, before any picture: the pictures' text needs
// Qt's fonts, which need an application object, one without a screen here. It lives as long as
// the process.
extern "C" [[gnu::visibility("default")]] void tolvenar_fit_start_pictures()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    // Qt's notes on the platform without a screen are none of the user's concern; a picture
    // that fails says so itself.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static int argc = 3;
    static char name[] = "tolvenar-fit";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    new QGuiApplication(argc, argv);
}

// The module's one entry, found by name when the first picture is written: the picture's bytes
// in `bytes`; false when Qt could not make them.
extern "C" [[gnu::visibility("default")]] bool
tolvenar_fit_render_picture(bool svg, const tolvenar::plot::FitPicture& picture,
                            std::string& bytes)
{
    return tolvenar::plot::picture_bytes(svg, picture, bytes);
}
