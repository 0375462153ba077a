// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one window. Its controls are public members under the program's names; its event
// handlers and routines are members too, each defined in the source file of its subsystem
// (app/, data/, window/, model/, search/, plot/). frmMain owns the program state for the life of
// the process; handlers read and write it directly and take no other arguments than the event's.
#pragma once

#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/session/fit_session.h"
#include "core/window/crop_edges.h"
#include "ui/app/program_state.h"
#include "ui/data/column_dialog.h"
#include "ui/toolkit/control_array.h"
#include "ui/toolkit/controls.h"
#include "ui/toolkit/picture_box.h"
#include "ui/toolkit/platform.h"
#include "ui/toolkit/work_runner.h"

#include <QRgb>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace tolvenar {

class IntervalsWindow;
class ComparisonWindow;
class TableWindow;
class EventMarks;

inline constexpr QRgb kGrey = 0xff808080;   // icons while no data is loaded
inline constexpr QRgb kBlack = 0xff000000;  // icons once data are loaded
inline constexpr QRgb kWhite = 0xffffffff;
inline constexpr QRgb kBlue = 0xff0000ff;   // the data's polylines

class frmMain : public QWidget {
public:
    static constexpr int kClientWidthTwips = 10575;
    static constexpr int kClientHeightTwips = 8085;

    // Builds every control, connects its events to the handlers below and runs Form_Load.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    static QString design_caption();  // "Tolvenar 1.5"
    // The client area it opens at and cannot be made smaller than: 705 x 539 pixels.
    static QSize design_size();
    // Shows the chosen data file in the caption: "Tolvenar 1.5  (" + path + ")".
    void ShowFileInCaption(const QString& path);
    QString Caption() const { return windowTitle(); }

    void Refresh();                 // repaints the whole window now
    // One message box over the window with the line that says why `action` ("Import data",
    // "Crop", "Run") was refused or stopped; nothing else changes.
    void SayWhy(const QString& action, const std::string& line);
    void PopupMenu(QMenu* menu);    // opens a popup menu at the mouse

    ProgramState state;
    FitSession session;   // the series, its crop, boxes and results; the searches' random source
    Platform platform;    // dialogs, beep; tests replace them
    WorkRunner* Work = nullptr;  // search, refinement and bootstrap, off the window's thread

    // What the work made beside the session's search results: the refined fit shown in place
    // of the best of best and its intervals, which go with the results they came from
    // (ForgetRefined), and the last comparison with the crop it was made on.
    JobResults Results;
    // A comparison's model without an event shown in place of the best of best is a refined fit
    // of two vertices named by ShownNull ("constant" or "line").
    std::string ShownNull;
    // The refined fit, ShownNull and the intervals gone, the "Intervals" table closed.
    void ForgetRefined();
    // There is something for "Save" to write: the search's best, a fit shown in its place or a
    // comparison made on the crop now taken.
    bool HasRecord() const;
    IntervalRequest IntervalChoice;  // the bootstrap dialog's last values
    // Asks for the bootstrap's replicates, level and seed (the dialog); nullopt: Cancel. Tests
    // answer it themselves.
    std::function<std::optional<IntervalRequest>(const IntervalRequest&)> AskIntervals;
    IntervalsWindow* frmIntervals = nullptr;  // the "Intervals" table, once a bootstrap is done
    // The bootstrap dialog was accepted: a scan's events and several series get intervals too.
    bool IntervalsAsked = false;

    // "Find events…": the scan's events (Results.scan) marked on the strip and listed in the
    // "Events" table; the event whose fit is on display in place of a best of best, if any.
    EventMarks* StripMarks = nullptr;
    TableWindow* frmEvents = nullptr;
    std::optional<std::size_t> ShownEvent;
    // The scan, its marks and its table gone (a new file).
    void ForgetScan();
    // "Save" writes the scan: one is held and nothing has been fitted on the crop since but its
    // events' own fits.
    bool SavesScan() const;

    // What the imported file said of its data: where y are missing (the plots break there, x
    // ascending), whether its x run downwards, its sigma column's title, whether it has a title
    // row, and the comment lines skipped.
    SeriesNotes Series;
    // The columns last chosen for a file of more than two, by its title row, while the program
    // runs; the dialog opens on them for the next file with the same titles.
    std::map<std::vector<std::string>, ColumnsChoice> ColumnChoices;
    // Asks for the columns of a file with the titles given, showing the choice given (the
    // dialog); nullopt: Cancel. Tests answer it themselves.
    std::function<std::optional<ColumnsChoice>(const std::vector<std::string>&,
                                               const ColumnsChoice&)>
        AskColumns;
    // With several y chosen: every series, the window's own first, each with its own gaps, and
    // the title of the one the lags are measured to; "Run" then fits them all on the crop
    // (RunLags) and the working plot shows each scaled to its height, with its fit.
    std::vector<LagSeries> Several;
    std::string LagReference;
    TableWindow* frmLags = nullptr;  // the "Lags" table, once several series are fitted
    void RunLags();
    void ShowLags();  // the series, their fits and their intervals on the working plot; the table
    void DrawLags();  // the series and their fits over the data, when fitted
    // A fit of each event or series as the window asks it: the family selected ("Simple ramp"
    // for a drawn one), the counts, refined, and bootstrapped once the dialog was accepted; on
    // the crop's edges or (none) the whole series.
    FitRequest WindowFitRequest(bool on_crop) const;
    // An x on a bound or strip end field: `number` (as the window has always written it) for a
    // file of plain numbers, the file's own date or date-time for dates.
    QString XText(double x, const std::string& number) const;
    // A typed x field's text as number text for the bound rules; nullopt while it holds no
    // complete date of the file's form.
    std::optional<std::string> XNumberText(const QString& text) const;
    // The x fields and the break points' labels as wide as the file's x form needs: the design
    // places for numbers, wider ones (taken from the room beside them) for dates.
    void LayOutForXForm();
    // "Compare families…": its test's replicates, level and seed (199, 0.05, 5489), asked by
    // AskCompare (the dialog; nullopt: Cancel; tests answer it themselves), and its table.
    ComparisonRequest CompareChoice;
    std::function<std::optional<ComparisonRequest>(const ComparisonRequest&)> AskCompare;
    ComparisonWindow* frmComparison = nullptr;
    // The comparison when it was made on the crop now taken; nullptr else.
    const FamilyComparison* CurrentComparison() const;

    // While work runs the controls that would change its inputs are disabled (BeginWork), and
    // EndWork gives them back the states they had; what the work's end enables comes after.
    bool Busy() const { return Work->busy(); }
    void BeginWork();
    void EndWork();
    // Runs `steps` on the worker with Results, `observer` hearing the searches and the progress
    // bar following the replicates or the comparison's steps; `finished` runs on the window's
    // thread with where they ended, once Results holds what they made.
    void StartJob(JobSteps steps, std::shared_ptr<SearchObserver> observer,
                  std::function<void(const JobOutcome&)> finished);

    // ---- Controls on the window ----
    PictureBox* Picture2 = nullptr;  // overview strip of the whole series
    Shape* Shape1 = nullptr;         // crop window marker on Picture2
    TextField* Text7 = nullptr;      // first x of the strip
    TextField* Text8 = nullptr;      // last x of the strip
    Label* Label7 = nullptr;         // left end of the convergence plot
    Label* Label8 = nullptr;         // count of evaluated candidates
    PictureBox* Picture3 = nullptr;  // convergence plot
    CommandButton* Command1 = nullptr;  // "Import data"
    CommandButton* Command7 = nullptr;  // "Reset"
    PictureBox* Picture1 = nullptr;  // working plot
    TextField* Text1 = nullptr;      // top of the vertical range
    TextField* Text2 = nullptr;      // bottom of the vertical range
    TextField* Text4 = nullptr;      // left x of the crop window
    TextField* Text5 = nullptr;      // right x of the crop window
    CommandButton* Command6 = nullptr;  // "Save": the fit as JSON, CSV or a picture
    CommandButton* Command4 = nullptr;  // "Quit"
    ProgressBar* ProgressBar1 = nullptr;
    ProgressBar* ProgressBar2 = nullptr;

    // " Monte Carlo simulation"
    Frame* Frame4 = nullptr;
    ControlArray<TextField, 0, 1> Text3;  // candidates per run; 1 is in Frame3
    Label* Label4 = nullptr;
    TextField* Text6 = nullptr;           // number of runs
    ControlArray<Label, 0, 1> Label1;     // "times"; 1 is in Frame3
    CommandButton* Command2 = nullptr;    // "Run"
    CheckBox* Check1 = nullptr;           // "Constrain"

    // " Display setting"
    Frame* Frame6 = nullptr;
    CommandButton* Command5 = nullptr;  // "Clean up diagram"
    CheckBox* Check2 = nullptr;         // "Show constraint"
    ImageBox* Image1 = nullptr;

    // " Fitting model "
    Frame* Frame1 = nullptr;
    ControlArray<OptionButton, 0, 6> Option1;  // index = model family
    ControlArray<Frame, 0, 5> Frame2;          // icon frames
    ControlArray<LineControl, 0, 22> Line1;    // icon strokes
    ControlArray<Shape, 0, 1> Shape2;          // icon of the drawn family

    // " Best fitting "
    Frame* Frame5 = nullptr;
    ControlArray<Label, 1, 6> Label2;  // "X1 = " ...
    ControlArray<Label, 1, 6> Label3;  // "Y1 = " ...
    Label* Label5 = nullptr;           // "R = "
    Label* Label6 = nullptr;           // symmetry index or duration of change

    // " Fine sampling ": present, never shown
    Frame* Frame3 = nullptr;
    CommandButton* Command3 = nullptr;  // has no action

    // Popup menus of the working plot and of the overview strip.
    QMenu* mnuRB1 = nullptr;
    QAction* mnuFlipVertical1 = nullptr;
    QAction* break1 = nullptr;
    QAction* mnuCopy1 = nullptr;
    QAction* mnuRefine1 = nullptr;     // "Refine best fit"
    QAction* mnuBootstrap1 = nullptr;  // "Bootstrap intervals…"
    QAction* mnuCompare1 = nullptr;    // "Compare families…"
    QAction* mnuFindEvents1 = nullptr; // "Find events…" within the crop
    QMenu* mnuRb2 = nullptr;
    QAction* mnuFlipVertical2 = nullptr;
    QAction* break2 = nullptr;
    QAction* mnuCopy2 = nullptr;
    QAction* mnuFindEvents2 = nullptr; // "Find events…" over the whole series

    // ---- Start-up and shell (app/) ----
    void Form_Load();
    void Form_Resize();  // the controls' places at the window's present size
    void Command4_Click();
    void Reset();
    void Option1_Click(std::int16_t Index);
    void Command7_Click();

    // ---- Data import (data/) ----
    void Command1_Click();

    // ---- Data window (window/) ----
    void CropCurve();
    void SayCropRefusal();              // a newly refused crop's reason, once
    CropEdges CropWindowEdges() const;  // the crop the window marker stands for, in data x
    void WipePicture1();
    void DrawCrop();
    void DrawPreview();
    void Picture2_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Picture2_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Picture2_MouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Text4_Change();
    void Text4_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
    void Text4_KeyUp(std::int16_t KeyCode, std::int16_t Shift);
    void Text5_Change();
    void Text5_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
    void Text5_KeyUp(std::int16_t KeyCode, std::int16_t Shift);
    void Text7_Change();
    void Text7_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
    void Text8_Change();
    void Text8_KeyDown(std::int16_t KeyCode, std::int16_t Shift);

    // ---- Model engine (model/) ----
    void DrawBox();
    void DrawConstraint();
    void Picture1_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Picture1_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Picture1_MouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Check1_Click();

    // ---- Search (search/) ----
    void Command2_Click();
    void Text3_Change(std::int16_t Index);
    void Text6_Change();

    // ---- Plot display (plot/) ----
    void DrawBestOfBest();
    void Command5_Click();
    void Check2_Click();
    void Text1_Change();
    void Text2_Change();
    void mnuFlipVertical1_Click();
    void mnuFlipVertical2_Click();
    void mnuCopy1_Click();
    void mnuCopy2_Click();
    void mnuRB1_AboutToShow();
    void mnuRefine1_Click();
    void mnuBootstrap1_Click();
    void mnuCompare1_AboutToShow();
    void mnuCompare1_Click();
    void ShowComparedFamily(ModelFamily family);  // a comparison's row double-clicked
    void ShowComparedNull(const std::string& name);  // its "Constant" or "Straight line"
    void mnuFindEvents_AboutToShow();  // either popup about to show
    void mnuFindEvents1_Click();
    void mnuFindEvents2_Click();
    void ShowEvent(std::size_t index);  // an "Events" row double-clicked: its crop and fit
    // The bootstrap's band (behind the models), or with `bars` the bars over them.
    void DrawIntervals(bool bars);
    void Command6_Click();  // "Save"

    // The best of best or the refined fit in its place, as " Best fitting " shows it.
    Model ShownModel() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    std::vector<std::pair<QWidget*, bool>> m_guarded;  // the guarded controls' states after work
    void createModelFrame();
    void createMenus();
    void nameControls();
    void connectEvents();
    void orderTabs();
};

}  // namespace tolvenar
