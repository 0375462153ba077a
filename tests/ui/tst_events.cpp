// SPDX-License-Identifier: GPL-3.0-or-later
// "Find events…" on the strip's and the working plot's menus: the events marked on the strip and
// listed as tolvenar-fit --scan lists them, a double-clicked event's crop and fit shown as "Run"
// and "Refine best fit" on that crop show them, Save writing what tolvenar-fit --scan --json
// writes, Escape keeping the events fitted so far, and a new file taking it all away.
#include "core/window/strip_rules.h"
#include "ui/plot/event_marks.h"
#include "ui/plot/intervals.h"
#include "window_fixture.h"

#include <QDate>
#include <QMenu>
#include <QTableWidget>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

// `item` chosen from the popup a right-click at `at` on `plot` opens.
void choose(frmMain& w, PictureBox* plot, QPoint at, QMenu* menu, QAction* item)
{
    QTest::mousePress(plot, Qt::RightButton, {}, at);
    QVERIFY(menu->isVisible() && item->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTest::mouseRelease(plot, Qt::RightButton, {}, at);
    w.Work->wait_until_idle();
}

std::string run_cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    run_fit_command(args, out, err);
    return out.str();
}

void double_click_row(QTableWidget& table, int row)
{
    const QPoint cell = table.visualItemRect(table.item(row, 0)).center();
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell);  // the press a view wants
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell);
}

const QString kRecord = QStringLiteral("ramps_in_red_noise.csv");

}  // namespace

class EventsTest : public QObject {
    Q_OBJECT

private slots:
    void findsMarksListsAndShowsEachEvent()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.mnuFindEvents_AboutToShow();
        QVERIFY(!w.mnuFindEvents2->isEnabled());  // no series on the strip yet
        import_file(w, example_path(kRecord));
        type_into(w.Text6, QStringLiteral("2"));
        type_into(w.Text3[0], QStringLiteral("200"));
        choose(w, w.Picture2, point_at(*w.Picture2, 30000, -40), w.mnuRb2, w.mnuFindEvents2);
        QVERIFY(w.Results.scan && w.frmEvents && QTest::qWaitForWindowExposed(w.frmEvents));
        const ScanRecord& scan = *w.Results.scan;

        // The table is tolvenar-fit's text table, cell for cell.
        const std::string file = example_path(kRecord).toStdString();
        const std::vector<std::string> counts{"--runs", "2", "--trials", "200"};
        std::vector<std::string> args{"--scan"};
        args.insert(args.end(), counts.begin(), counts.end());
        args.push_back(file);
        QStringList text = QString::fromStdString(run_cli(args)).split(QLatin1Char('\n'),
                                                                         Qt::SkipEmptyParts);
        const QTableWidget& table = *w.frmEvents->Table;
        QCOMPARE(table.rowCount(), 12);
        QCOMPARE(text.size(), 2 + table.rowCount());
        QCOMPARE(w.frmEvents->Note->text(), text[0]);
        for (int row = 0; row < table.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < table.columnCount(); ++column)
                cells << table.item(row, column)->text();
            QCOMPARE(cells, text[row + 2].split(QLatin1Char(' '), Qt::SkipEmptyParts));
        }
        QCOMPARE(w.frmEvents->text().count(QLatin1Char('\n')), 1 + 12);

        // A band at each event's onset and end on the strip, none between events.
        QVERIFY(w.StripMarks && w.StripMarks->isVisible());
        const QImage strip = w.Picture2->grab(w.Picture2->contentsRect()).toImage();
        const auto ticked = [&strip](int column) {  // most of the column: the number is over it
            int rows = 0;
            for (int row = 0; row < strip.height(); ++row)
                rows += (strip.pixel(column, row) | 0xff000000u) == 0xff007000u;
            return rows > strip.height() / 2;
        };
        const std::vector<EventSpan> spans = event_spans(scan);
        for (const EventSpan& span : spans) {
            const std::optional<ColumnSpan> at =
                event_columns(span.onset, span.end, w.Picture2->ScaleLeft(),
                              w.Picture2->ScaleWidth(), strip.width());
            QVERIFY(at && span.onset < span.end && ticked(at->first) && ticked(at->last));
        }
        const double between = (spans[3].end + spans[4].onset) / 2;
        QVERIFY(!ticked(event_columns(between, between, w.Picture2->ScaleLeft(),
                                      w.Picture2->ScaleWidth(), strip.width())
                            ->first));

        // Saved: what tolvenar-fit --scan --json writes.
        QTemporaryDir dir;
        args.insert(args.begin(), "--json");
        QCOMPARE(saved_as(w, dir, QStringLiteral("events.json")),
                 QByteArray::fromStdString(run_cli(args)));

        // Event 5 double-clicked: its crop as typed, its fit as "Run" and "Refine best fit"
        // on that crop show it.
        const FitRecord event = scan.events[4];
        double_click_row(*w.frmEvents->Table, 4);
        QCOMPARE(w.Text4->Text(), QString::fromStdString(event.request.from->text));
        QCOMPARE(w.Text5->Text(), QString::fromStdString(event.request.to->text));
        QCOMPARE(w.session.crop_info().points, event.found->points);
        QCOMPARE(w.session.crop_info().origin, event.found->origin);
        QVERIFY(w.Option1[static_cast<int>(ModelFamily::SimpleRamp)]->Value());
        const QStringList shown = shown_report(w);
        QVERIFY(pixel_at(*w.Picture1, event.found->refined->x[2], event.found->refined->y[2]) ==
                kRed);
        QCOMPARE(saved_as(w, dir, QStringLiteral("still_events.json")),
                 QByteArray::fromStdString(run_cli(args)));
        click_and_wait(w, w.Command2);
        w.mnuRefine1->trigger();
        w.Work->wait_until_idle();
        QCOMPARE(shown_report(w), shown);

        // Within the crop, from the working plot's popup: the one event there.
        choose(w, w.Picture1, w.Picture1->rect().center(), w.mnuRB1, w.mnuFindEvents1);
        QVERIFY(w.Results.scan->from == w.CropWindowEdges().from &&
                w.Results.scan->to == w.CropWindowEdges().to);
        QCOMPARE(w.frmEvents->Table->rowCount(), 1);

        // A new file: no marks, no table, nothing of the scan to save.
        import_file(w, example_path(QStringLiteral("step_ramp.csv")));
        QVERIFY(!w.Results.scan && !w.StripMarks->isVisible() && w.frmEvents->isHidden() &&
                !w.Command6->isEnabled());
    }

    // A file of dates: the table's x and the crop a row puts in force are the file's dates.
    void datesShowAsTheFileWritesThem()
    {
        QTemporaryDir dir;
        QByteArray text = "date,level\n";
        const QDate first(2020, 1, 1);
        for (int day = 0; day < 300; ++day) {
            const double ramp = std::clamp((day - 150) / 6.0, 0.0, 1.0) * 5.0;
            text += first.addDays(day).toString(Qt::ISODate).toLatin1() + "," +
                    QByteArray::number(ramp + 0.3 * std::sin(day * 2.7), 'f', 3) + "\n";
        }
        frmMain w;
        import_file(w, write_file(dir, "daily.csv", text));
        type_into(w.Text6, QStringLiteral("2"));
        type_into(w.Text3[0], QStringLiteral("200"));
        w.mnuFindEvents2->trigger();
        w.Work->wait_until_idle();
        QCOMPARE(w.frmEvents->Table->rowCount(), 1);
        const QString onset = w.frmEvents->Table->item(0, 1)->text();
        QVERIFY(onset.startsWith(QStringLiteral("2020-05-3")) ||
                onset.startsWith(QStringLiteral("2020-06-0")));  // day 150 is 30 May
        double_click_row(*w.frmEvents->Table, 0);
        QCOMPARE(w.Text4->Text(),
                 QString::fromStdString(w.Results.scan->events[0].request.from->text));
        QVERIFY(w.Text4->Text().startsWith(QStringLiteral("2020-")) &&
                shown_report(w).filter(QStringLiteral("X2 = 2020-")).size() == 1);
    }

    // Escape while the events are fitted: those fitted keep their fit, the table says it stopped.
    void escapeKeepsTheEventsFittedSoFar()
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        import_file(w, example_path(kRecord));
        type_into(w.Text3[0], QStringLiteral("200000"));
        w.mnuFindEvents2->trigger();
        QVERIFY(w.Busy() && w.ProgressBar1->Visible() && !w.Command1->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(w.ProgressBar1->Max() == 12 && w.ProgressBar1->Value() >= 1,
                                 60000);  // found, one fitted, the others under way
        QTest::keyClick(w.Picture1, Qt::Key_Escape);
        w.Work->wait_until_idle();
        QVERIFY(w.Results.scan && w.Results.scan->code == kExitInterrupted);
        QCOMPARE(w.frmEvents->Table->rowCount(), 12);
        int fitted = 0;
        for (int row = 0; row < 12; ++row)
            fitted += w.frmEvents->Table->item(row, 1)->text() != QStringLiteral("-");
        QVERIFY(fitted >= 1 && fitted < 12);
        QVERIFY(w.frmEvents->Note->text().endsWith(
            QStringLiteral("Stopped: interrupted while the events were fitted")));
        QVERIFY(!w.ProgressBar1->Visible() && w.Command1->isEnabled());
    }
};

QTEST_MAIN(EventsTest)
#include "tst_events.moc"
