// CDlgFileNewPID: the loop parameter page. The engineer edits the P, I and D gains of the
// current, speed and position loops, runs a step test of each loop, looks at the response on
// two charts with its figures beside them, and saves the captured response as text.
//
// The opener sets the page's modes (SetModifyMode every time, SetMotorEnabled when it opens the
// page for modification), has read the gain registers and the application group into
// DriveState, and calls Run(), which returns 1 accepted (Next or Save: the gains are in the
// ParameterSet), 2 cancelled or 3 Back. The page never talks to the drive: the tests are asked
// of the console through PageRequests, whose progress timers write into the page's test box
// (CDlgFileLoopTest) while it is open; the box is registered under the test it shows.
//
// What the page does, with the core rules it calls:
//   - Next/Save: the three gain checks (tuning/loop_gain_check.h), each loop stored as it
//     passes, the first refusal shown and the page left open.
//   - Test: CheckCurrentTest/CheckSpeedTest/CheckPositionTest (tuning/step_test_check.h), what
//     they produced stored even when refused, the refusal shown; else the start request, the
//     test box with TestState 2, and on its result: 2 the stop request, 1 the plot
//     (tuning/response_plot.h) and the figures (tuning/step_test_analysis.h), 3 nothing.
//   - Auto-tune: the Test button's check, then an automatic tuning of the loop
//     (tuning/auto_tune_run.h) driven by a 20 ms timer while the "Auto-tune" box is open (the
//     console runs each tick, RunWithContext); every tested response is drawn faintly on the
//     upper chart and the best so far in the normal colours. At the end the loop's entries
//     hold the gains the drive's gain register holds (the tuned gains, or the original ones
//     after a cancel), the starting response stays as the previous response and the figures
//     column shows start -> result; a cancel or failure shows the run's message, and the chart
//     the first test's response when the drive holds its gains again, else nothing.
//   - Save buttons: SaveTestData (tuning/test_data_file.h); a file that cannot be written is
//     named in an error message.
//   - Cancel and the close box: the question "Parameter not saved, sure to cancel?" when an
//     entry's text changed since the page opened.
//   - Enter, Escape and Space never reach the page's controls (ui/dialog_key_filter.h).
//   - The charts sit inside the "Waveform Display" group by the rule of ChartRects, applied to
//     the group below its title (DisplayGroupRect), at every opening and whenever the group's size
//     changes.
// Beyond the bare page: the figures of the last test of each loop beside the charts, and the
// previous response of the same loop kept on the upper chart in a light colour, its gains in
// the legend, until the "Clear previous response" button clears it. The previous response is
// drawn from the set value the new one starts from (a position test moves on from where the
// last one ended); the legend says by how much it was moved, if at all.
//
// The page object is made once and shown again for each opening: every Run() fills the
// entries from DriveState afresh and starts with empty charts; the modes, the figures and the
// responses kept for comparison stay.
//
// UI thread only. Run() blocks in the page's event loop; a Test button blocks in the test box's.
#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <array>
#include <utility>
#include <vector>

#include "protocol/drive_state.h"
#include "session/page_requests.h"
#include "tuning/ct_chart.h"
#include "tuning/loop_gain_check.h"
#include "tuning/loop_test_kind.h"
#include "tuning/response_plot.h"
#include "tuning/step_response_figures.h"
#include "tuning/step_test_check.h"

class AutoTuneBox;
class CDlgFileLoopTest;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDlgFileNewPID : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kNewTitle = "环路参数-新建";
    static constexpr const char* kModifyTitle = "The loop parameters-Modify";
    static constexpr const char* kCancelQuestion = "Parameter not saved, sure to cancel?";
    // The note as it has always been stored: cut off after 255 characters.
    static constexpr const char* kNoteText =
        "The unit of the abscissa of the waveform graph is expressed as a period index, a total "
        "of 512 period indexes; in the current loop and speed loop mode, one unit is 66 "
        "microseconds; in the position loop mode, the abscissa is divided into 512 points "
        "accordin";
    static constexpr int kMaxEntryLength = 16;

    // `state` and `requests` must outlive the page.
    CDlgFileNewPID(torvane::DriveState& state, torvane::PageRequests& requests,
                   QWidget* parent = nullptr);
    ~CDlgFileNewPID() override;

    // Set by the opener before Run().
    void SetModifyMode(bool modify) { modifyMode_ = modify; }
    bool ModifyMode() const { return modifyMode_; }
    void SetMotorEnabled(bool enabled) { motorEnabled_ = enabled; }
    bool MotorEnabled() const { return motorEnabled_; }
    // An entry's text changed since the page was initialised.
    bool Modified() const { return modified_; }
    // Index of the Current Type selection.
    int CurrentType() const { return currentType_; }

    // Initialises the page and shows it modally: 1 accepted, 2 cancelled, 3 back.
    int Run();

    // The buttons (the page's own buttons call these).
    void OnNext();
    void OnBack();
    void OnCancel();
    void RunTest(torvane::LoopTest test);
    void AutoTune(torvane::LoopTest loop);
    void SaveData(torvane::LoopTest test);
    void ClearComparison();

    // The chart layout rule. `group` is the Waveform Display group's rectangle in the page's
    // coordinates (left L, top T, right R = L + width, bottom B = T + height); with
    // M = (T + B) / 2 the upper chart spans (L + 10, T + 15) to (R - 10, M + 10) and the lower
    // one (L + 10, M + 10) to (R - 10, B - 10), right and bottom edges exclusive.
    static std::pair<QRect, QRect> ChartRects(const QRect& group);
    // The rectangle the rule is applied to, in the page's coordinates: the Waveform Display
    // group below its title.
    QRect DisplayGroupRect() const;

    CTChart* UpperChart() const { return upper_; }
    CTChart* LowerChart() const { return lower_; }
    // Series 3 of the upper chart: the previous response of the loop last plotted.
    CTChart::Series* PreviousSeries() const { return previous_; }
    CDlgFileLoopTest* TestBox() const { return testBox_; }
    AutoTuneBox* TuneBox() const { return tuneBox_; }
    // The faint responses of the auto-tune that runs: one series a tested response.
    int TriedResponses() const;
    QGroupBox* WaveformDisplayGroup() const { return displayGroup_; }
    // The figures shown for the last test of `loop` (its title line, then one figure a line).
    QString FiguresText(torvane::LoopTest loop) const;

protected:
    void reject() override;  // the close box: as Cancel
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct LoopResponse {
        bool Present = false;
        torvane::LoopGains Gains;
        double SetStart = 0;  // the first set value
        torvane::PlotSeries Actual;
    };
    struct LoopWidgets {
        QLineEdit* P = nullptr;
        QLineEdit* I = nullptr;
        QLineEdit* D = nullptr;
        QLabel* Figures = nullptr;
    };

    void BuildWindow();
    QGroupBox* BuildCurrentGroup();
    QGroupBox* BuildSpeedGroup();
    QGroupBox* BuildPositionGroup();
    QGroupBox* BuildProcessingGroup();
    QGroupBox* BuildDisplayGroup();
    QWidget* BuildFiguresColumn();
    QLineEdit* NewEdit(const char* name);
    QGridLayout* GainGrid(QGroupBox* group, torvane::LoopTest loop);
    // The Auto-tune and Test buttons, side by side in row `row` of the loop's grid.
    void AddTestButtons(QGridLayout* grid, torvane::LoopTest loop, int row);
    void Initialise();
    void LayoutCharts();
    void OnCurrentTypeChanged(int index);
    torvane::GainTexts GainTextsOf(torvane::LoopTest loop) const;
    void SetGainEntries(torvane::LoopTest loop, const torvane::LoopGains& gains);
    // The Test button's checks on the loop's entries (nothing stored yet).
    torvane::StepTestCheck CheckTest(torvane::LoopTest test) const;
    void Plot(torvane::LoopTest test, const torvane::LoopGains& gains);
    // A response and its figures, as after a Test.
    void Plot(torvane::LoopTest test, const torvane::LoopGains& gains,
              const torvane::ResponsePlot& plot, const torvane::StepFigures& figures);
    // A response in the normal colours, with the loop's last one as the previous response;
    // this one becomes the loop's last.
    void ShowResponse(torvane::LoopTest test, const torvane::ResponsePlot& plot,
                      const torvane::LoopGains& gains);
    // The four series of a response, cleared first.
    void DrawSeries(const torvane::ResponsePlot& plot);
    void DrawTry(const torvane::PlotSeries& actual);
    void ClearTries();

    torvane::DriveState& state_;
    torvane::PageRequests& requests_;
    bool modifyMode_ = false;
    bool motorEnabled_ = false;
    bool modified_ = false;
    int currentType_ = 0;

    std::array<LoopWidgets, 3> loops_{};
    QComboBox* typeCombo_ = nullptr;
    QLineEdit* amplitude_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QLineEdit* setSpeed_ = nullptr;
    QLineEdit* maxSpeed_ = nullptr;
    QLineEdit* target_ = nullptr;
    QLineEdit* acceleration_ = nullptr;
    QLineEdit* deceleration_ = nullptr;
    QGroupBox* displayGroup_ = nullptr;
    CTChart* upper_ = nullptr;
    CTChart* lower_ = nullptr;
    // The series fed by a test: upper 0, 1, 2 and lower 0 (taken afresh at each opening).
    std::array<CTChart::Series*, 4> series_{};
    CTChart::Series* previous_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    CDlgFileLoopTest* testBox_ = nullptr;
    AutoTuneBox* tuneBox_ = nullptr;
    // Faint series of tested responses, beneath the others; reused from run to run.
    std::vector<CTChart::Series*> tries_;
    size_t triesUsed_ = 0;
    std::array<LoopResponse, 3> last_{};
    std::array<QString, 3> figures_{};
};
