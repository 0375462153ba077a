// SPDX-License-Identifier: GPL-3.0-or-later
// The tolvenar executable: opens the window. A data file given as its argument (or with
// --import FILE) is imported first, as if it had been chosen in the "Import data" dialog;
// --screenshot FILE renders the window into a PNG and exits.
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
    parser.setApplicationDescription(QStringLiteral(
        "Find and measure an event in a measured series: import a CSV file of (x, y) pairs, crop "
        "a window of it, and fit a piecewise-linear model family to it by Monte Carlo search."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("Data file to import at start, as \"Import data\" would; the window opens "
                       "as at start-up when the file is refused."),
        QStringLiteral("[file]"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and exit."),
                                        QStringLiteral("file"));
    const QCommandLineOption import(QStringLiteral("import"),
                                    QStringLiteral("Import a data file at start (as [file])."),
                                    QStringLiteral("file"));
    parser.addOption(screenshot);
    parser.addOption(import);
    parser.process(app);

    QStringList files = parser.positionalArguments();
    if (parser.isSet(import))
        files.prepend(parser.value(import));
    if (files.size() > 1) {  // the window holds one series at a time
        std::fprintf(stderr, "tolvenar: one data file at a time\n");
        return 2;
    }

    tolvenar::frmMain window;
    if (parser.isSet(screenshot)) {
        // Nobody answers a dialog during a picture run: its prompt goes to stderr instead.
        window.platform.MsgBox = [](const QString& prompt, tolvenar::MsgBoxButtons buttons,
                                    const QString&) {
            std::fprintf(stderr, "tolvenar: %s\n", qPrintable(prompt));
            return buttons == tolvenar::MsgBoxButtons::YesNo ? tolvenar::kMsgBoxNo
                                                             : tolvenar::kMsgBoxOk;
        };
    }
    window.show();
    if (!files.isEmpty()) {
        const QString path = files.first();
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
