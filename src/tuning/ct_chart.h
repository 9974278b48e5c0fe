// CTChart: the waveform chart of the console and the loop page, over QCustomPlot.
//
// Callers use the five chart operations: ResetDisplayFlag on the chart, SeriesAt to get a
// series, and ClearPoints / AppendValue / AppendPoint on the series. Beyond them the user can
// zoom with the mouse wheel, pan by dragging, fit the view to the data with a double-click, and
// save the chart as PNG or its points as CSV from the context menu (file names come from
// Prompts().SaveFileName).
//
// UI thread only. Appends are cheap: they store the point and schedule one replot for the next
// event-loop turn, however many points arrive before it. While the user has not zoomed or
// panned, the view follows the data (both axes fitted); a zoom or pan stops that until the next
// double-click or FitToData().
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QCustomPlot;
class QCPGraph;
class QCPTextElement;
class QMenu;
class QMouseEvent;
class QWheelEvent;

class CTChart : public QWidget {
    Q_OBJECT

public:
    // A Windows colour value 0x00BBGGRR, as callers pass them: 0xFF red, 0xFF00 green, 0xFF0000
    // blue.
    static QColor ColourFromRgbValue(uint32_t bgr);

    // One line series. Owned by its chart; valid as long as the chart lives.
    class Series {
    public:
        // Removes every point; the next AppendValue is at X 0.
        void ClearPoints();
        // Appends `value` at X = the number of points in the series; returns the new point's
        // index. The label and per-point colour are accepted and not drawn (the series colour
        // is used).
        int32_t AppendValue(double value, const QString& label = QString(), uint32_t colour = 0);
        // Appends the point (x, y); returns its index in X order. A point with an X below the
        // last one is inserted before the points with an equal or larger X (slower than
        // appending).
        int32_t AppendPoint(double x, double y, const QString& label = QString(),
                            uint32_t colour = 0);

        int32_t Count() const;
        double X(int32_t index) const;  // 0 for an index out of range
        double Y(int32_t index) const;  // 0 for an index out of range
        QString Title() const;
        QColor Colour() const;
        int LineWidth() const;
        bool OnRightAxis() const;
        QCPGraph* Graph() const { return graph_; }

    private:
        friend class CTChart;
        Series(CTChart* chart, QCPGraph* graph) : chart_(chart), graph_(graph) {}
        void Track(double x, double y);

        CTChart* chart_;
        QCPGraph* graph_;
        // Data bounds kept up to date on append, so fitting needs no scan of the points.
        bool empty_ = true;
        double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
    };

    explicit CTChart(QWidget* parent = nullptr);
    ~CTChart() override;

    // Switches the chart's 3-D view off (the chart is always drawn flat; the flag is kept for
    // callers that read it back).
    void ResetDisplayFlag();
    bool View3D() const { return view3D_; }

    // Series `index`; series 0..index that do not exist yet are created with default settings.
    // nullptr for a negative index or one of kMaxSeries or more.
    Series* SeriesAt(int32_t index);
    int32_t SeriesCount() const { return static_cast<int32_t>(series_.size()); }
    static constexpr int32_t kMaxSeries = 16;

    // Configuration. AddSeries appends a series and returns it.
    Series* AddSeries(const QString& title, const QColor& colour, int lineWidth,
                      bool rightAxis = false);
    void SetTitle(const QString& title, bool bold);
    QString Title() const;
    void SetBottomAxisTitle(const QString& title);
    QString BottomAxisTitle() const;
    void SetBottomGridVisible(bool visible);
    void SetBackground(const QColor& colour);
    QColor Background() const;
    // Legend of series titles in the top right corner of the plot.
    void SetLegendVisible(bool visible);
    bool LegendVisible() const;
    // Bottom axis ticks at multiples of `step` (0: automatic).
    void SetBottomAxisStep(double step);
    // Value labels of the main vertical axis on the right side instead of the left.
    void SetValueAxisOnRight(bool right);

    // The console's live chart: "Real-time Display" in bold, bottom axis "Index Cycle" without
    // grid, no legend, silver background, series 0 "通道1" red, width 3.
    void ConfigureRealTimeDisplay();
    // The loop page's upper chart: "The response waveform", bottom step 1, legend; series 0
    // "setting value" lime, 1 "actual value" blue, 2 "deviation value" red on the right axis,
    // width 2.
    void ConfigureResponseUpper();
    // The loop page's lower chart: "The response waveform", bottom step 1, value labels on the
    // right, legend; series 0 "actual value" lime, width 2.
    void ConfigureResponseLower();

    // Fits both axes to the data of every series and follows the data again.
    void FitToData();
    bool FollowsData() const { return follow_; }
    // Replots now if a replot is pending (tests; the event loop does it otherwise).
    void FlushReplot();
    bool ReplotPending() const { return replotPending_; }

    // Writes the chart as a PNG image of its current size (at least 100 x 60 pixels). False on
    // a write failure.
    bool SavePng(const QString& path);
    // Writes the points as UTF-8 CSV: header "series,x,y", then one row per point, series in
    // order, numbers with 17 significant digits. False on a write failure (no partial file).
    bool SaveCsv(const QString& path);
    // The CSV text SaveCsv writes.
    QByteArray CsvText() const;

    // The context menu's actions: ask for a file name through Prompts() and save; a failed
    // write is reported through Prompts().Notice. Nothing happens when the dialog is cancelled.
    void SaveImageAs();
    void SavePointsAs();
    // Builds the context menu ("Save as PNG…", "Save points as CSV…", "Fit"); caller owns it.
    QMenu* CreateContextMenu(QWidget* parent);

    QCustomPlot* Plot() const { return plot_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    void ScheduleReplot();
    void Replot();
    void ApplyFit();
    void StopFollowing();

    void UpdateInteractionAxes();

    QCustomPlot* plot_;
    QCPTextElement* title_ = nullptr;
    std::vector<std::unique_ptr<Series>> series_;
    QColor background_ = Qt::white;
    bool view3D_ = true;
    bool follow_ = true;
    bool replotPending_ = false;
};
