// SPDX-License-Identifier: GPL-3.0-or-later
// Several series of one file: the columns dialog's further y and "Lags to:", "Run" fitting every
// series with their lags listed as tolvenar-fit --y ... --lag-to lists them, each series drawn
// in its own colour, "Bootstrap intervals…" giving the lags' intervals, and Save writing what
// tolvenar-fit --y ... --lag-to --json writes.
#include "ui/data/column_dialog.h"
#include "ui/plot/intervals.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QTableWidget>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

const std::vector<std::string> kTitles{"time", "Ca", "Na", "d18O"};

void check(QListWidget& list, int row)
{
    const QRect box = list.visualItemRect(list.item(row));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, {box.left() + 8, box.center().y()});
}

std::string run_cli(std::vector<std::string> args)
{
    args.push_back(example_path(QStringLiteral("proxies_one_event.csv")).toStdString());
    std::ostringstream out, err;
    run_fit_command(args, out, err);
    return out.str();
}

}  // namespace

class LagsTest : public QObject {
    Q_OBJECT

private slots:
    // One y as before; further y checked offer the references among the y chosen.
    void theDialogTakesFurtherSeriesAndTheirReference()
    {
        ColumnDialog dialog(kTitles, ColumnsChoice{}, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.choice().more_y.empty() && dialog.choice().lag_to == 0 &&
                dialog.choice().y.number == 2 && !dialog.LagsTo->isEnabled());
        check(*dialog.MoreY, 3);
        check(*dialog.MoreY, 2);
        QVERIFY(dialog.LagsTo->isEnabled());
        QCOMPARE(dialog.LagsTo->count(), 3);
        dialog.LagsTo->setCurrentIndex(dialog.LagsTo->findData(4));
        QCOMPARE(dialog.choice().more_y, (std::vector<int>{3, 4}));
        QCOMPARE(dialog.choice().lag_to, 4);
        dialog.YColumn->setCurrentIndex(dialog.YColumn->findData(3));  // Na: now y, not more
        QCOMPARE(dialog.choice().more_y, (std::vector<int>{4}));
        QCOMPARE(dialog.LagsTo->count(), 2);
        QCOMPARE(dialog.LagsTo->currentData().toInt(), 4);  // kept while still chosen
        check(*dialog.MoreY, 3);
        QVERIFY(!dialog.LagsTo->isEnabled() && dialog.choice().more_y.empty());
    }

    void fitsEverySeriesListsDrawsAndSavesTheirLags()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.AskColumns = [](const std::vector<std::string>&, ColumnsChoice choice) {
            choice.more_y = {3, 4};
            choice.lag_to = 4;
            return std::optional(choice);
        };
        prepare_search(w, "proxies_one_event.csv", "150", "280", "2", "200",
                       ModelFamily::SimpleRamp);
        QCOMPARE(w.Several.size(), std::size_t{3});
        QCOMPARE(w.LagReference, std::string("d18O"));
        click_and_wait(w, w.Command2);
        QVERIFY(w.Results.lags && w.frmLags && QTest::qWaitForWindowExposed(w.frmLags));

        // The table is tolvenar-fit's, with the reference and how the replicates were drawn.
        const std::vector<std::string> common{"--y", "Ca,Na,d18O", "--lag-to", "d18O", "--from",
                                              "150", "--to", "280", "--runs", "2", "--trials",
                                              "200", "--refine"};
        const auto lines = [&](std::vector<std::string> args) {
            return QString::fromStdString(run_cli(args)).split(QLatin1Char('\n'),
                                                               Qt::SkipEmptyParts);
        };
        const auto compare_rows = [&](const QStringList& text) {
            const QTableWidget& table = *w.frmLags->Table;
            QCOMPARE(table.rowCount(), 4);  // Ca and Na, each X2 and X3
            QCOMPARE(text.size(), 2 + table.rowCount());
            for (int row = 0; row < table.rowCount(); ++row) {
                const QStringList cli = text[row + 2].split(QStringLiteral("  "),
                                                            Qt::SkipEmptyParts);
                QCOMPARE(table.item(row, 0)->text(), cli[0].trimmed());
                QCOMPARE(table.item(row, 1)->text(), QStringLiteral("d18O"));
                for (int column = 2; column <= 4; ++column)
                    QCOMPARE(table.item(row, column)->text(), cli[column - 1].trimmed());
            }
            QVERIFY(w.frmLags->Note->text().startsWith(text[0]));
        };
        compare_rows(lines(common));

        // Each series in its own colour, its fit drawn over it: Ca, and Na broken at its own
        // gaps alone, about as much as d18O, drawn last over them.
        const int last = count_pixels(*w.Picture1, QRgb(0xffd000d0));
        for (const QRgb colour : {kBlue, QRgb(0xff00a000)})
            QVERIFY(count_pixels(*w.Picture1, colour) > std::max(last / 2, 100));

        // The intervals: the series fitted again with their replicates made together.
        w.AskIntervals = [](IntervalRequest choice) {
            choice.replicates = 50;
            return std::optional(choice);
        };
        QTest::mouseClick(w.Picture1, Qt::RightButton, {}, w.Picture1->rect().center());
        QVERIFY(w.mnuRB1->isVisible() && w.mnuBootstrap1->isEnabled());
        QTest::mouseClick(w.mnuRB1, Qt::LeftButton, {},
                          w.mnuRB1->actionGeometry(w.mnuBootstrap1).center());
        w.Work->wait_until_idle();
        std::vector<std::string> bootstrapped = common;
        bootstrapped.insert(bootstrapped.end(), {"--bootstrap", "50"});
        compare_rows(lines(bootstrapped));
        QVERIFY(w.frmLags->Table->item(0, 4)->text().contains(QStringLiteral(" .. ")));
        QCOMPARE(w.frmLags->Table->item(0, 5)->text(), QStringLiteral("yes"));  // Ca: same rows
        QCOMPARE(w.frmLags->Table->item(2, 5)->text(), QStringLiteral("no"));   // Na: own gaps

        QTemporaryDir dir;
        bootstrapped.insert(bootstrapped.begin(), "--json");
        QCOMPARE(saved_as(w, dir, QStringLiteral("lags.json")),
                 QByteArray::fromStdString(run_cli(bootstrapped)));

        // Another crop: the lags and their table go with the one they were fitted on.
        type_into(w.Text4, QStringLiteral("100"));
        QVERIFY(!w.Results.lags && w.frmLags->isHidden() && !w.Command6->isEnabled());
    }
};

QTEST_MAIN(LagsTest)
#include "tst_lags.moc"
