// CTChart: the waveform chart of the console and the loop page, over QCustomPlot.
//
// Callers use the five chart operations: ResetDisplayFlag on the chart, SeriesAt to get a
// series, and ClearPoints / AppendValue / AppendPoint on the series. Beyond them the user can
// zoom with the mouse wheel, pan by dragging, fit the view to the data with a double-click, and
// save the chart as PNG or its points as CSV from the context menu (file names come from
// Prompts().SaveFileName).
//
// UI thread only. Appends are cheap: they store the point and schedule one replot, at most one
// a display frame (16 ms), however many points arrive before it. A replot after appends alone,
// with the view unchanged, draws only the new stretch of each line (LineGraph) and repaints; a
// changed view, configuration or clear redraws everything. Nothing is drawn while the chart is
// hidden or its window minimised; the view is kept up to date and drawn when it shows again.
//
// The view follows the data until the user zooms or pans (until the next double-click or
// FitToData()). A chart with a live range (the console's) keeps a stable, padded range that
// grows when the data leave it and shrinks again only on ClearPoints or FitToData, so noise on
// a steady value stays a thin band and the lines need not be redrawn for every sample; other
// charts are fitted to their data at every replot.
#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QCustomPlot;
class QCPGraph;
class QCPLayer;
class QCPTextElement;
class QMenu;
class QMouseEvent;
class QTimer;
class QWheelEvent;
class LineGraph;

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
        Series(CTChart* chart, LineGraph* graph);
        void Track(double x, double y);

        CTChart* chart_;
        QCPGraph* graph_;
        LineGraph* line_;
        bool background_ = false;  // on the layer beneath the others: appends redraw it all
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
    // A series drawn beneath every series added with AddSeries, whenever it was added, and
    // left out of the legend: faint lines behind the ones that matter.
    Series* AddBackgroundSeries(const QString& title, const QColor& colour, int lineWidth);
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

    // A live range (see above) instead of fitting the data at every replot.
    void SetLiveRange(bool live);
    bool LiveRange() const { return live_; }

    // The console's live chart: "Real-time Display" in bold, bottom axis "Index Cycle" without
    // grid, no legend, silver background with a value grid that shows on it, series 0 "通道1"
    // red, width 3, live range.
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
    // Replots now if a replot is pending (tests; the event loop does it otherwise). A hidden or
    // minimised chart only updates its view.
    void FlushReplot();
    bool ReplotPending() const { return replotPending_; }
    // Times the chart was drawn, and how many of those redrew everything (tests, benchmarks).
    int DrawCount() const { return draws_; }
    int FullDrawCount() const { return fullDraws_; }

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

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // `full`: more than the lines changed (configuration, clear), so every layer is drawn.
    void ScheduleReplot(bool full = true);
    void Replot();
    bool Drawable() const;
    // Brings the view to the data as the range rules say; true when an axis range changed.
    bool UpdateView();
    void ApplyFit();
    void ApplyLiveRange();
    void StopFollowing();

    void UpdateInteractionAxes();

    QCustomPlot* plot_;
    QCPLayer* linesLayer_ = nullptr;  // the series alone, so appends redraw only them
    QCPLayer* backgroundLayer_ = nullptr;  // background series, beneath the lines
    QCPTextElement* title_ = nullptr;
    std::vector<std::unique_ptr<Series>> series_;
    QColor background_ = Qt::white;
    bool view3D_ = true;
    bool follow_ = true;
    bool live_ = false;
    bool fresh_ = true;  // live range: fit the data afresh (start, clear, fit) instead of growing
    bool replotPending_ = false;
    bool fullPending_ = true;
    bool deferred_ = false;  // a replot waits for the chart to show
    QTimer* frameTimer_;
    QElapsedTimer lastDraw_;
    QPointer<QWidget> watchedWindow_;
    int draws_ = 0;
    int fullDraws_ = 0;
};
