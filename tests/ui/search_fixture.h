// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the search, box and plot tests: a sample imported and cropped by typing its
// bounds, a family chosen and "Run" pressed as a user does, the report read off the labels, and
// the same search made by tolvenar-fit in process.
#pragma once

#include "cli/fit_command.h"
#include "core/model/family.h"
#include "import_fixture.h"
#include "ui/app/frm_main.h"

#include <QStringList>
#include <QtTest>

#include <sstream>
#include <string>
#include <vector>

namespace tolvenar::test {

// Replaces the field's text by typing: select all, then the keys one by one.
inline void type_into(TextField* field, const QString& keys)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

// Types the crop window's bounds: the right one first, so that no prefix of the left one
// reaches it.
inline void type_crop(frmMain& window, const QString& from, const QString& to)
{
    type_into(window.Text5, to);
    type_into(window.Text4, from);
    QCOMPARE(window.Text4->Text(), from);
    QCOMPARE(window.Text5->Text(), to);
}

inline void choose_family(frmMain& window, ModelFamily family)
{
    QTest::mouseClick(window.Option1[static_cast<int>(family)], Qt::LeftButton);
    QVERIFY(window.Option1[static_cast<int>(family)]->Value());
}

// Types R into Text6 and N into Text3(0).
inline void type_counts(frmMain& window, const QString& runs, const QString& trials)
{
    type_into(window.Text6, runs);
    type_into(window.Text3[0], trials);
}

inline void press_run(frmMain& window)
{
    QVERIFY(window.Command2->isEnabled());
    QTest::mouseClick(window.Command2, Qt::LeftButton);
}

// The enabled result labels in reading order: X1, Y1, ..., X6, Y6, R, then the measure.
inline QStringList shown_report(const frmMain& window)
{
    QStringList lines;
    for (int i = 1; i <= 6; ++i) {
        if (window.Label2[i]->Enabled())
            lines << window.Label2[i]->Caption();
        if (window.Label3[i]->Enabled())
            lines << window.Label3[i]->Caption();
    }
    if (window.Label5->Enabled())
        lines << window.Label5->Caption();
    if (window.Label6->Enabled())
        lines << window.Label6->Caption();
    return lines;
}

// What tolvenar-fit prints for `args`; empty when it refuses.
inline QStringList fit_report(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    if (run_fit_command(args, out, err) != kExitSuccess) {
        qWarning("tolvenar-fit refused: %s", err.str().c_str());
        return {};
    }
    return QString::fromStdString(out.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// tolvenar-fit over the window's file and typed crop bounds, family and counts.
inline QStringList fit_report_for(const frmMain& window, const QString& file, ModelFamily family,
                                  bool constrain = false)
{
    std::vector<std::string> args{"--model", std::string(family_caption(family)),
                                  "--runs", window.Text6->Text().toStdString(),
                                  "--trials", window.Text3[0]->Text().toStdString(),
                                  "--from", window.Text4->Text().toStdString(),
                                  "--to", window.Text5->Text().toStdString()};
    if (constrain)
        args.emplace_back("--constrain");
    args.push_back(file.toStdString());
    return fit_report(args);
}

}  // namespace tolvenar::test
