// SPDX-License-Identifier: GPL-3.0-or-later
// "Compare families…" on the working plot's menu: the table sorted by BIC with the chosen model
// marked and p shown; a double-clicked family selected with its optimum in " Best fitting ";
// Save writing the record tolvenar-fit --compare prints; Escape stopping it.
#include "ui/plot/comparison_window.h"
#include "window_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

using namespace tolvenar;
using namespace tolvenar::test;

class CompareTest : public QObject {
    Q_OBJECT

private slots:
    void listsTheModelsShowsAFamilyAndSavesAsTheCommandLine()
    {
        frmMain w;
        prepare_search(w, "step_ramp.csv", "90", "210", "2", "200", ModelFamily::SymmetricEvent);
        w.AskCompare = [](ComparisonRequest choice) {
            choice.replicates = 39;
            choice.alpha = 0.1;
            return std::optional(choice);
        };
        w.mnuCompare1->trigger();
        w.Work->wait_until_idle();
        QVERIFY(w.frmComparison && QTest::qWaitForWindowExposed(w.frmComparison));
        const QTableWidget& table = *w.frmComparison->Table;
        QCOMPARE(table.rowCount(), 8);
        QCOMPARE(table.item(0, 0)->text(), QStringLiteral("▶ Simple ramp"));
        for (int row = 1; row < 8; ++row)
            QVERIFY(table.item(row - 1, 7)->text().toDouble() <=
                    table.item(row, 7)->text().toDouble());
        QVERIFY(w.frmComparison->Note->text().startsWith(QStringLiteral("Event test: p = 0.025")));

        // The chosen row double-clicked: its family selected, its optimum shown as refined.
        const QPoint cell = table.visualItemRect(table.item(0, 0)).center();
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell);  // the press a view wants
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell);
        QVERIFY(w.Option1[static_cast<int>(ModelFamily::SimpleRamp)]->Value());
        QVERIFY(w.Results.refined &&
                w.Results.refined->sq_dist == w.Results.comparison->fit(ModelFamily::SimpleRamp)->sq_dist);
        const QStringList shown = shown_report(w);
        QCOMPARE(shown.filter(QStringLiteral("X2 = ")).size(), 1);
        QVERIFY(!shown.contains(QStringLiteral("X2 = ")));
        // Saved as it is: the optimum as the best found, no trial made.
        QTemporaryDir dir;
        const auto saved = [&w, &dir](const QString& name) {
            const QString path = dir.filePath(name);
            w.platform.ShowSave = [path](const QString&, const QString&) { return path; };
            QTest::mouseClick(w.Command6, Qt::LeftButton);
            QFile written(path);
            return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
        };
        const QByteArray optimum = saved(QStringLiteral("optimum.json"));
        QVERIFY(optimum.contains("\"trials_made\":0") && optimum.contains("\"refined\"") &&
                !optimum.contains("-9999") && !optimum.contains("\"duration\":null") &&
                optimum.contains(("\"" + shown[2] + "\"").toUtf8()));  // the ramp's duration too

        // Searched, then saved: the object tolvenar-fit --compare prints.
        click_and_wait(w, w.Command2);
        std::vector<std::string> args{"--json", "--compare", "--test-replicates", "39", "--alpha", "0.1",
                                      "--runs", "2", "--trials", "200", "--from", "90", "--to",
                                      "210",
                                      example_path("step_ramp.csv").toStdString()};
        std::ostringstream out, err;
        run_fit_command(args, out, err);
        QCOMPARE(saved(QStringLiteral("fit.json")), QByteArray::fromStdString(out.str()));
        QVERIFY(saved(QStringLiteral("fit.csv")).contains(",chosen,"));  // the comparison's columns
    }

    // "Constant" and "Straight line" double-clicked: drawn across the plot with their ends and
    // their level or slope, and saved as the comparison's record without a family's model. The
    // table goes with its crop and its file.
    void modelsWithoutAnEventShowAsFits()
    {
        frmMain w;
        prepare_search(w, "step_ramp.csv", "90", "210", "2", "200", ModelFamily::SymmetricEvent);
        w.AskCompare = [](ComparisonRequest choice) {
            choice.replicates = 0;
            return std::optional(choice);
        };
        w.mnuCompare1->trigger();
        w.Work->wait_until_idle();
        QVERIFY(w.Command6->isEnabled() && QTest::qWaitForWindowExposed(w.frmComparison));
        QTableWidget& table = *w.frmComparison->Table;
        const auto double_click = [&table](const QString& name) {
            for (int row = 0; row < table.rowCount(); ++row) {
                if (table.item(row, 0)->data(Qt::UserRole).toString() != name)
                    continue;
                const QPoint cell = table.visualItemRect(table.item(row, 0)).center();
                QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell);
                QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell);
            }
        };
        for (const compare::NullFit& fit : w.Results.comparison->nulls) {
            double_click(QString::fromStdString(fit.name));
            const auto y_text = [&fit](double x) { return qtext(rounded_text(fit.at(x), 2)); };
            const QString measure = fit.name == "constant"
                                        ? "Level = " + qtext(rounded_text(fit.level, 2))
                                        : "Slope = " + QString::number(fit.slope, 'g', 4);
            QCOMPARE(shown_report(w), (QStringList{"X1 = 90", "Y1 = " + y_text(90), "X2 = 210",
                                                   "Y2 = " + y_text(210), measure}));
            for (const double x : {100.0, 150.0, 200.0})
                QCOMPARE(pixel_at(*w.Picture1, x, fit.at(x)), kRed);
            w.mnuRB1_AboutToShow();  // nothing to refine or bootstrap
            QVERIFY(w.Command6->isEnabled() && !w.mnuBootstrap1->isEnabled());
        }
        QTemporaryDir dir;
        const auto saved = [&](const QString& name) { return saved_as(w, dir, name); };
        const QByteArray json = saved(QStringLiteral("fit.json"));
        QVERIFY(json.contains("\"model\":null") && json.contains("\"comparison\"") &&
                !json.contains("\"best\""));
        const QByteArray svg = saved(QStringLiteral("fit.svg"));  // the data alone, no model
        QVERIFY(svg.contains(">Data</text>") && !svg.contains(">Best of best</text>"));

        type_into(w.Text4, QStringLiteral("100"));  // another crop
        QVERIFY(w.frmComparison->isHidden() && !w.Command6->isEnabled());
        w.mnuCompare1->trigger();
        w.Work->wait_until_idle();
        QVERIFY(!w.frmComparison->isHidden());
        import_file(w, example_path("step_ramp.csv"));  // another file, if the same
        QVERIFY(w.frmComparison->isHidden() && !w.Results.comparison && !w.Command6->isEnabled());
    }

    void escapeStopsTheComparison()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        prepare_search(w, "step_ramp.csv", "0", "300", "2", "200", ModelFamily::SimpleRamp);
        w.AskCompare = [](ComparisonRequest choice) {
            choice.replicates = 1000000;
            return std::optional(choice);
        };
        w.mnuCompare1->trigger();
        QVERIFY(w.Busy() && !w.Command2->isEnabled());
        w.mnuCompare1_AboutToShow();  // nor a second comparison while one runs
        QVERIFY(!w.mnuCompare1->isEnabled());
        QTRY_VERIFY(w.ProgressBar1->Value() >= 8);  // the families fitted, replicates under way
        QTest::keyClick(w.Picture1, Qt::Key_Escape);
        w.Work->wait_until_idle();
        QVERIFY(w.Results.comparison && w.Results.comparison->stopped && w.Command2->isEnabled());
        QVERIFY(w.frmComparison->Note->text().contains(QStringLiteral("Stopped")));
    }

    // The dialog keeps a refused entry open with its reason, and a cancelled one asks nothing.
    void compareChoiceRefusesWhatItCannotTake()
    {
        for (const auto& [replicates, alpha, reason] :  // reason: a word of it; "" when taken
             std::initializer_list<std::array<QString, 3>>{
                 {"199", "0.05", ""}, {"0", "0.05", ""}, {"-1", "0.05", "replicates"},
                 {"1000001", "0.05", "replicates"}, {"199", "0", "Alpha"}, {"199", "5", "Alpha"}}) {
            CompareDialog dialog(ComparisonRequest{}, nullptr);
            dialog.Fields[0]->setText(replicates);
            dialog.Fields[1]->setText(alpha);
            dialog.show();
            QTest::keyClick(dialog.Fields[1], Qt::Key_Return);
            QCOMPARE(dialog.result(), reason.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
            QVERIFY(dialog.Reason->text().contains(reason));
            if (reason.isEmpty())
                QVERIFY(dialog.choice().replicates == replicates.toULongLong() &&
                        dialog.choice().alpha == alpha.toDouble());
        }
        frmMain w;  // on a crop of one point, which compares too
        prepare_search(w, "step_ramp.csv", "100", "100.4", "2", "200", ModelFamily::SimpleRamp);
        w.mnuCompare1_AboutToShow();
        QVERIFY(w.mnuCompare1->isEnabled() && w.session.crop_info().points == 1);
        w.AskCompare = [](const ComparisonRequest&) { return std::optional<ComparisonRequest>(); };
        w.mnuCompare1->trigger();
        QVERIFY(!w.Busy() && !w.Results.comparison && w.CompareChoice.replicates == 199);
    }
};

QTEST_MAIN(CompareTest)
#include "tst_compare.moc"
