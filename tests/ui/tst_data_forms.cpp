// SPDX-License-Identifier: GPL-3.0-or-later
// The window on data as scientists keep it: the columns' dialog and its memory, lines that break
// at gaps, and fields and labels that read dates.
#include "ui/data/column_dialog.h"
#include "ui/plot/intervals.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>

namespace tolvenar::test {

class DataFormsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_dialogs = Dialogs(); }

    void dialogShowsTheChoiceAndReturnAccepts()
    {
        for (const auto& [x, y, sigma] : {std::tuple{1, 2, 0}, {2, 3, 4}, {4, 1, 3}}) {  // 0: none
            ReadOptions shown;
            shown.x = {"", x};
            shown.y = {"", y};
            if (sigma > 0)
                shown.sigma = ColumnChoice{"", sigma};
            ColumnDialog dialog({"depth", "", "d18O", "sd"}, shown, nullptr);
            QCOMPARE(dialog.XColumn->count(), 4);
            QCOMPARE(dialog.SigmaColumn->itemText(0), QStringLiteral("none"));
            QCOMPARE(dialog.YColumn->itemText(1), QStringLiteral("Column 2"));
            QCOMPARE(dialog.YColumn->itemText(2), QStringLiteral("3: d18O"));
            dialog.open();
            QTest::keyClick(dialog.YColumn, Qt::Key_Return);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            const ReadOptions choice = dialog.choice();
            QVERIFY(choice.x == shown.x && choice.y == shown.y && choice.sigma == shown.sigma);
        }
    }

    // The dialog opens for more than two columns only, on the last choice for the same titles.
    void columnsAreAskedAndRemembered()
    {
        frmMain w;
        m_dialogs.attach(w);
        QList<std::vector<std::string>> asked;
        QList<int> shown_y;
        w.AskColumns = [&](const std::vector<std::string>& titles, const ReadOptions& shown) {
            asked << titles;
            shown_y << shown.y.number;
            ReadOptions choice;
            choice.y = {"", 3};
            choice.sigma = ColumnChoice{"", 2};
            return std::optional<ReadOptions>(choice);
        };
        QTemporaryDir dir;
        const QByteArray three = "t,sd,v\n0,1,5\n1,1,6\n2,1,4\n3,1,9\n4,1,7\n";
        import_file(w, write_file(dir, "a.csv", three));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0], (std::vector<std::string>{"t", "sd", "v"}));
        QCOMPARE(shown_y[0], 2);
        QCOMPARE(cell_number(w.session.table().y_cell(4)), 9.0);
        QVERIFY(w.session.weighted() && w.windowTitle().endsWith("weighted by 1/σ² of sd"));
        import_file(w, write_file(dir, "b.csv", three));
        QCOMPARE(shown_y.value(1), 3);
        import_file(w, write_file(dir, "c.csv", "t,v\n0,5\n1,6\n2,4\n3,9\n4,7\n"));
        QCOMPARE(asked.size(), 2);
        QVERIFY(!w.session.weighted() && !w.windowTitle().contains("weighted"));
        // Without a title row the dialog offers the columns by number and the caption says so.
        import_file(w, write_file(dir, "d.csv", "# logger 7\n0,1,5\n1,1,6\n2,1,4\n3,1,9\n4,1,7\n"));
        QCOMPARE(asked.value(2), (std::vector<std::string>{"", "", ""}));
        QCOMPARE(cell_number(w.session.table().y_cell(1)), 5.0);
        QVERIFY2(w.windowTitle().contains("  no title row: the first line read as data  1 comment "
                                          "line skipped  weighted"),
                 qPrintable(w.windowTitle()));
        QCOMPARE(m_dialogs.titles, QStringList());
    }

    // A missing y or a marker row breaks the line on the strip and on the working plot; the rows
    // about it draw.
    void gapsBreakTheLines()
    {
        frmMain w;
        m_dialogs.attach(w);
        QTemporaryDir dir;
        import_file(w, write_file(dir, "gap.csv",
                                  "x,y\n0,0\n1,0\n2,0\n3,0\n4,0\n5,\n6,0\nBreak,\n7,0\n8,0\n"
                                  "9,10\n"));
        type_into(w.Text5, QStringLiteral("9"));
        type_into(w.Text4, QStringLiteral("0"));
        QCOMPARE(w.Series.gap_x, (std::vector<double>{5.0, 6.5}));
        // The line's pixel row may lie one off the point's own.
        const auto drawn = [](const PictureBox& plot, double x) {
            const QPoint at = point_at(plot, x, 0.0) - plot.contentsRect().topLeft();
            for (int dy = -1; dy <= 1; ++dy)
                if ((plot.Image().pixel(at + QPoint(0, dy)) | 0xff000000u) == kBlue)
                    return true;
            return false;
        };
        for (PictureBox* plot : {w.Picture2, w.Picture1}) {
            QVERIFY(drawn(*plot, 2.0));
            QVERIFY(!drawn(*plot, 5.0));
            QVERIFY(!drawn(*plot, 6.5));  // a marker row
            QVERIFY(drawn(*plot, 7.5));
        }
        QCOMPARE(m_dialogs.titles, QStringList());
    }

    // Dates: the fields show the file's own dates and take typed ones, the report writes dates.
    void fieldsAndLabelsReadDates()
    {
        frmMain w;
        m_dialogs.attach(w);
        QTemporaryDir dir;
        QByteArray text = "date,level\n";
        for (int day = 1; day <= 28; ++day)
            text += QStringLiteral("2023-02-%1,%2\n")
                        .arg(day, 2, 10, QLatin1Char('0'))
                        .arg(day < 10 ? 3.0 : day > 18 ? 9.0 : 3.0 + 0.6 * (day - 10))
                        .toUtf8();
        prepare_search(w, write_file(dir, "daily.csv", text), "2023-02-03", "2023-02-25", "2",
                       "200", ModelFamily::SimpleRamp);
        QCOMPARE(w.Text7->Text(), QStringLiteral("2023-02-01"));
        QCOMPARE(w.Text8->Text(), QStringLiteral("2023-02-28"));
        QVERIFY(w.state.TypedCrop == std::pair(2.0, 24.0));
        QCOMPARE(w.session.crop_info().points, 23);
        click_and_wait(w, w.Command2);
        QCOMPARE(w.Label2[1]->Caption(), QStringLiteral("X1 = 2023-02-03"));
        QCOMPARE(w.Label2[4]->Caption(), QStringLiteral("X4 = 2023-02-25"));
        QVERIFY2(w.Label6->Caption().endsWith(QStringLiteral(" days")),
                 qPrintable(w.Label6->Caption()));
        QCOMPARE(m_dialogs.titles, QStringList());
    }

    // Date-times typed key by key take their bounds once whole; the "Intervals" table shows
    // them whole, and closes when the crop changes.
    void intervalsTableShowsDateTimesWhole()
    {
        frmMain w;
        m_dialogs.attach(w);
        QTemporaryDir dir;
        QByteArray text = "time,level\n";
        for (int hour = 0; hour < 24; ++hour)
            text += QStringLiteral("2024-03-31T%1:00:00,%2\n")
                        .arg(hour, 2, 10, QLatin1Char('0'))
                        .arg((hour < 8 ? 3.0 : hour > 15 ? 9.0 : 3.0 + 0.75 * (hour - 8)) +
                             0.1 * (hour * 7 % 5 - 2))
                        .toUtf8();
        // Typed key by key: a date alone is no bound.
        prepare_search(w, write_file(dir, "hourly.csv", text), "2024-03-31T00:00:00",
                       "2024-03-31T23:00:00", "2", "200", ModelFamily::SimpleRamp);
        QCOMPARE(w.session.crop_info().points, 24);
        click_and_wait(w, w.Command2);
        w.AskIntervals = [](IntervalRequest choice) {
            choice.replicates = 20;
            return std::optional(choice);
        };
        w.mnuBootstrap1->trigger();
        w.Work->wait_until_idle();
        QVERIFY(w.frmIntervals && QTest::qWaitForWindowExposed(w.frmIntervals));
        const QTableWidget& table = *w.frmIntervals->Table;
        const QAbstractItemView& view = table;
        QVERIFY(table.item(0, 1)->text().startsWith(QStringLiteral("2024-03-31T")));
        int across = 0;
        for (int column = 0; column < table.columnCount(); ++column) {
            QVERIFY(table.columnWidth(column) >= view.sizeHintForColumn(column));
            across += table.columnWidth(column);
        }
        QVERIFY(across <= table.viewport()->width());
        type_into(w.Text4, QStringLiteral("2024-03-31T01:00:00"));
        QVERIFY(w.frmIntervals->isHidden() && w.session.crop_info().points == 23);
        QCOMPARE(m_dialogs.titles, QStringList());
    }

private:
    Dialogs m_dialogs;
};

}  // namespace tolvenar::test

QTEST_MAIN(tolvenar::test::DataFormsTest)
#include "tst_data_forms.moc"
