// SPDX-License-Identifier: GPL-3.0-or-later
// The tolvenar executable: opens the window. --screenshot FILE renders it into a PNG and exits;
// --import FILE imports that data file first, as if it had been chosen in the dialog.
#include "ui/app/frm_main.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QStyleFactory>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvenar"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVENAR_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tolvenar"));
    // The controls sit at fixed positions and sizes; Fusion fits them on every desktop.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Find and measure an event in a measured series."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and exit."),
                                        QStringLiteral("file"));
    const QCommandLineOption import(QStringLiteral("import"),
                                    QStringLiteral("Import a data file at start."),
                                    QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.addOption(import);
    parser.process(app);

    tolvenar::frmMain window;
    window.show();
    if (parser.isSet(import)) {
        const QString path = parser.value(import);
        auto dialog = std::move(window.platform.ShowOpen);
        window.platform.ShowOpen = [path](const QString&) { return path; };
        window.Command1_Click();
        window.platform.ShowOpen = std::move(dialog);
    }
    if (parser.isSet(screenshot)) {
        QApplication::processEvents();
        const QString file = parser.value(screenshot);
        if (!window.grab().save(file, "PNG")) {
            std::fprintf(stderr, "tolvenar: cannot write %s\n", qPrintable(file));
            return 1;
        }
        return 0;
    }
    return QApplication::exec();
}
