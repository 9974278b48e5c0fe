#include "tuning/ct_chart.h"

#include <qcustomplot.h>

#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tuning/line_graph.h"
#include "ui/user_prompts.h"

namespace {

// Colours of series created by SeriesAt without a configuration.
const QColor kDefaultColours[] = {Qt::red,      Qt::blue,       QColor(0, 160, 0), Qt::magenta,
                                  Qt::darkCyan, Qt::darkYellow, Qt::black,         Qt::darkRed};

// 17 significant digits: every double reads back as itself.
QByteArray CsvNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return QByteArray(text);
}

QString CsvQuoted(QString text) {
    return '"' + text.replace('"', "\"\"") + '"';
}

// Adds `suffix` when the chosen name has none, as users often type just a name.
QString WithSuffix(const QString& path, const QString& suffix) {
    return QFileInfo(path).suffix().isEmpty() ? path + '.' + suffix : path;
}

// One display frame: appends closer together than this share a replot.
constexpr int kFrameMs = 16;

// Live range. Values: a fitted range leaves a tenth of the data's span, and at least a
// twentieth of its level, free on either side, so 48 V with 0.05 V of noise is a thin band, not
// the full height. Keys: room for a quarter more points, at least 100. When data leave the
// range it grows past them by a quarter of the new span, so a steady drift grows it a few times
// in a day rather than at every sample.
constexpr double kValuePad = 0.1;
constexpr double kLevelPad = 0.05;
constexpr double kKeyRoom = 1.25;
constexpr double kMinKeySpan = 100;
constexpr double kGrowth = 0.25;

QCPRange FittedValues(double low, double high) {
    double pad = std::max((high - low) * kValuePad, std::fabs((low + high) / 2) * kLevelPad);
    if (!(pad > 0)) pad = 1.0;  // all zero: any unit range shows it
    return QCPRange(low - pad, high + pad);
}

QCPRange GrownValues(const QCPRange& r, double low, double high) {
    if (low >= r.lower && high <= r.upper) return r;
    const double room = (std::max(r.upper, high) - std::min(r.lower, low)) * kGrowth;
    return QCPRange(low < r.lower ? low - room : r.lower, high > r.upper ? high + room : r.upper);
}

QCPRange FittedKeys(double low, double high) {
    return QCPRange(low, low + std::max((high - low) * kKeyRoom, kMinKeySpan));
}

QCPRange GrownKeys(const QCPRange& r, double low, double high) {
    if (low >= r.lower && high <= r.upper) return r;
    const double lower = std::min(r.lower, low);
    return QCPRange(lower, high > r.upper ? lower + (high - lower) * kKeyRoom : r.upper);
}

bool SameRange(const QCPRange& a, const QCPRange& b) {
    return a.lower == b.lower && a.upper == b.upper;
}

}  // namespace

QColor CTChart::ColourFromRgbValue(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// ---- Series ----

CTChart::Series::Series(CTChart* chart, LineGraph* graph)
    : chart_(chart), graph_(graph), line_(graph) {}

void CTChart::Series::ClearPoints() {
    graph_->data()->clear();
    line_->DataChanged();
    empty_ = true;
    chart_->fresh_ = true;  // the range may shrink again
    chart_->ScheduleReplot();
}

int32_t CTChart::Series::AppendValue(double value, const QString& label, uint32_t colour) {
    return AppendPoint(static_cast<double>(graph_->data()->size()), value, label, colour);
}

int32_t CTChart::Series::AppendPoint(double x, double y, const QString& /*label*/,
                                     uint32_t /*colour*/) {
    QCPGraphDataContainer& data = *graph_->data();
    int32_t index = data.size();
    // The container keeps points sorted by X; a point below the last one is inserted before
    // the first point whose X is not smaller, which is its index.
    if (!data.isEmpty() && x < (data.constEnd() - 1)->key) {
        const auto at = std::lower_bound(data.constBegin(), data.constEnd(), x,
                                         [](const QCPGraphData& d, double k) { return d.key < k; });
        index = static_cast<int32_t>(at - data.constBegin());
        line_->DataChanged();  // not at the end: the line is drawn again
    }
    data.add(QCPGraphData(x, y));
    Track(x, y);
    // Only the lines layer is redrawn for appends; a background series needs the whole plot.
    chart_->ScheduleReplot(background_);
    return index;
}

void CTChart::Series::Track(double x, double y) {
    // Non-finite values are drawn as gaps and would make the fitted range unusable.
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    if (empty_) {
        minX_ = maxX_ = x;
        minY_ = maxY_ = y;
        empty_ = false;
        return;
    }
    minX_ = std::min(minX_, x);
    maxX_ = std::max(maxX_, x);
    minY_ = std::min(minY_, y);
    maxY_ = std::max(maxY_, y);
}

int32_t CTChart::Series::Count() const {
    return graph_->data()->size();
}

double CTChart::Series::X(int32_t index) const {
    if (index < 0 || index >= Count()) return 0;
    return graph_->data()->at(index)->key;
}

double CTChart::Series::Y(int32_t index) const {
    if (index < 0 || index >= Count()) return 0;
    return graph_->data()->at(index)->value;
}

QString CTChart::Series::Title() const {
    return graph_->name();
}
QColor CTChart::Series::Colour() const {
    return graph_->pen().color();
}
int CTChart::Series::LineWidth() const {
    return graph_->pen().width();
}
bool CTChart::Series::OnRightAxis() const {
    return graph_->valueAxis() == chart_->plot_->yAxis2;
}

// ---- Chart ----

CTChart::CTChart(QWidget* parent)
    : QWidget(parent), plot_(new QCustomPlot(this)), frameTimer_(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    plot_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->legend->setVisible(false);
    // The legend sits over the plot area: let the curves it covers show through.
    plot_->legend->setBrush(QColor(255, 255, 255, 190));
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    // The series on a buffered layer of their own: a replot after appends redraws that layer
    // and repaints, leaving axes, grid, title and legend as they were drawn.
    plot_->addLayer("lines", plot_->layer("main"), QCustomPlot::limAbove);
    linesLayer_ = plot_->layer("lines");
    linesLayer_->setMode(QCPLayer::lmBuffered);
    plot_->addLayer("beneath", linesLayer_, QCustomPlot::limBelow);
    backgroundLayer_ = plot_->layer("beneath");
    backgroundLayer_->setMode(QCPLayer::lmBuffered);

    frameTimer_->setSingleShot(true);
    connect(frameTimer_, &QTimer::timeout, this, &CTChart::Replot);

    // A user zoom or pan takes the view over from the automatic fit.
    connect(plot_, &QCustomPlot::mouseWheel, this, [this](QWheelEvent*) { StopFollowing(); });
    connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton) StopFollowing();
    });
    connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent*) { FitToData(); });

    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = CreateContextMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(plot_->mapToGlobal(pos));
    });
}

CTChart::~CTChart() = default;

void CTChart::ResetDisplayFlag() {
    view3D_ = false;
}

CTChart::Series* CTChart::SeriesAt(int32_t index) {
    if (index < 0 || index >= kMaxSeries) return nullptr;
    while (SeriesCount() <= index) {
        const int n = SeriesCount();
        AddSeries(QString("Series %1").arg(n),
                  kDefaultColours[n % (sizeof kDefaultColours / sizeof kDefaultColours[0])], 1);
    }
    return series_[index].get();
}

CTChart::Series* CTChart::AddSeries(const QString& title, const QColor& colour, int lineWidth,
                                    bool rightAxis) {
    if (rightAxis) {
        plot_->yAxis2->setVisible(true);
        plot_->yAxis2->setTickLabels(true);
    }
    auto* graph = new LineGraph(plot_->xAxis, rightAxis ? plot_->yAxis2 : plot_->yAxis);
    graph->setLayer(linesLayer_);
    graph->setName(title);
    QPen pen(colour);
    pen.setWidth(lineWidth);
    graph->setPen(pen);
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setScatterStyle(QCPScatterStyle::ssNone);
    // For the drawing QCPGraph still does itself (exports to vector formats): per pixel column
    // only the extremes of millions of points.
    graph->setAdaptiveSampling(true);
    series_.push_back(std::unique_ptr<Series>(new Series(this, graph)));
    UpdateInteractionAxes();
    ScheduleReplot();
    return series_.back().get();
}

CTChart::Series* CTChart::AddBackgroundSeries(const QString& title, const QColor& colour,
                                              int lineWidth) {
    Series* series = AddSeries(title, colour, lineWidth);
    series->graph_->setLayer(backgroundLayer_);
    series->graph_->removeFromLegend();
    series->background_ = true;
    return series;
}

void CTChart::UpdateInteractionAxes() {
    // Zoom and pan move every value axis that carries a series, so the curves stay together.
    QList<QCPAxis*> vertical;
    for (const auto& s : series_) {
        if (!vertical.contains(s->graph_->valueAxis())) vertical << s->graph_->valueAxis();
    }
    if (vertical.isEmpty()) vertical << plot_->yAxis;
    plot_->axisRect()->setRangeDragAxes({plot_->xAxis}, vertical);
    plot_->axisRect()->setRangeZoomAxes({plot_->xAxis}, vertical);
}

void CTChart::SetTitle(const QString& title, bool bold) {
    if (!title_) {
        plot_->plotLayout()->insertRow(0);
        title_ = new QCPTextElement(plot_, title);
        plot_->plotLayout()->addElement(0, 0, title_);
    }
    title_->setText(title);
    QFont font = title_->font();
    font.setBold(bold);
    title_->setFont(font);
    ScheduleReplot();
}

QString CTChart::Title() const {
    return title_ ? title_->text() : QString();
}

void CTChart::SetBottomAxisTitle(const QString& title) {
    plot_->xAxis->setLabel(title);
    ScheduleReplot();
}

QString CTChart::BottomAxisTitle() const {
    return plot_->xAxis->label();
}

void CTChart::SetBottomGridVisible(bool visible) {
    plot_->xAxis->grid()->setVisible(visible);
    ScheduleReplot();
}

void CTChart::SetBackground(const QColor& colour) {
    background_ = colour;
    plot_->setBackground(QBrush(colour));
    ScheduleReplot();
}

QColor CTChart::Background() const {
    return background_;
}

void CTChart::SetLegendVisible(bool visible) {
    plot_->legend->setVisible(visible);
    ScheduleReplot();
}

bool CTChart::LegendVisible() const {
    return plot_->legend->visible();
}

void CTChart::SetBottomAxisStep(double step) {
    if (step > 0) {
        QSharedPointer<QCPAxisTickerFixed> ticker(new QCPAxisTickerFixed);
        ticker->setTickStep(step);
        // Multiples keep the labels readable when 512 points share the axis.
        ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        plot_->xAxis->setTicker(ticker);
    } else {
        plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    }
    ScheduleReplot();
}

void CTChart::SetValueAxisOnRight(bool right) {
    plot_->yAxis2->setVisible(right);
    plot_->yAxis2->setTickLabels(right);
    plot_->yAxis->setTickLabels(!right);
    if (right) {
        // The right axis mirrors the left one, whose series it labels.
        connect(plot_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot_->yAxis2,
                qOverload<const QCPRange&>(&QCPAxis::setRange), Qt::UniqueConnection);
        plot_->yAxis2->setRange(plot_->yAxis->range());
    }
    ScheduleReplot();
}

void CTChart::ConfigureRealTimeDisplay() {
    SetTitle("Real-time Display", true);
    SetBottomAxisTitle("Index Cycle");
    SetBottomGridVisible(false);
    SetLegendVisible(false);
    SetBackground(QColor(0xC0, 0xC0, 0xC0));  // silver
    // The default grid (light grey, 200) vanishes on silver (192): a darker dotted one.
    const QPen grid(QColor(0x70, 0x70, 0x70), 0, Qt::DotLine);
    plot_->yAxis->grid()->setPen(grid);
    plot_->yAxis->grid()->setZeroLinePen(grid);
    // Sample numbers read as whole numbers (1500000, not 1.5·10⁶).
    plot_->xAxis->setNumberFormat("f");
    plot_->xAxis->setNumberPrecision(0);
    AddSeries("通道1", ColourFromRgbValue(0xFF), 3);
    SetLiveRange(true);
}

void CTChart::ConfigureResponseUpper() {
    SetTitle("The response waveform", false);
    SetBottomAxisStep(1);
    SetLegendVisible(true);
    AddSeries("setting value", ColourFromRgbValue(0xFF00), 2);
    AddSeries("actual value", ColourFromRgbValue(0xFF0000), 2);
    AddSeries("deviation value", ColourFromRgbValue(0xFF), 2, true);
}

void CTChart::ConfigureResponseLower() {
    SetTitle("The response waveform", false);
    SetBottomAxisStep(1);
    SetValueAxisOnRight(true);
    SetLegendVisible(true);
    AddSeries("actual value", ColourFromRgbValue(0xFF00), 2);
}

void CTChart::SetLiveRange(bool live) {
    live_ = live;
    fresh_ = true;
    ScheduleReplot();
}

void CTChart::FitToData() {
    follow_ = true;
    fresh_ = true;
    UpdateView();
    ScheduleReplot();
}

void CTChart::StopFollowing() {
    follow_ = false;
}

void CTChart::ApplyFit() {
    bool anyX = false;
    double minX = 0, maxX = 0;
    struct Bounds {
        bool any = false;
        double min = 0, max = 0;
    } left, right;
    for (const auto& s : series_) {
        if (s->empty_ || s->Count() == 0) continue;
        minX = anyX ? std::min(minX, s->minX_) : s->minX_;
        maxX = anyX ? std::max(maxX, s->maxX_) : s->maxX_;
        anyX = true;
        Bounds& b = s->OnRightAxis() ? right : left;
        b.min = b.any ? std::min(b.min, s->minY_) : s->minY_;
        b.max = b.any ? std::max(b.max, s->maxY_) : s->maxY_;
        b.any = true;
    }
    if (!anyX) return;
    // A single point or a flat line still needs a visible range.
    if (maxX - minX <= 0) {
        minX -= 1;
        maxX += 1;
    }
    plot_->xAxis->setRange(minX, maxX);
    auto fitValue = [](QCPAxis* axis, Bounds b) {
        if (!b.any) return;
        double span = b.max - b.min;
        const double pad = span > 0 ? span * 0.05 : std::max(std::fabs(b.max) * 0.05, 1.0);
        axis->setRange(b.min - pad, b.max + pad);
    };
    fitValue(plot_->yAxis, left);
    fitValue(plot_->yAxis2, right);
}

bool CTChart::UpdateView() {
    if (!follow_) return false;
    const QCPRange x = plot_->xAxis->range(), y = plot_->yAxis->range(),
                   y2 = plot_->yAxis2->range();
    if (live_) {
        ApplyLiveRange();
    } else {
        ApplyFit();
    }
    return !SameRange(x, plot_->xAxis->range()) || !SameRange(y, plot_->yAxis->range()) ||
           !SameRange(y2, plot_->yAxis2->range());
}

void CTChart::ApplyLiveRange() {
    struct Bounds {
        bool any = false;
        double min = 0, max = 0;
        void Add(double lo, double hi) {
            min = any ? std::min(min, lo) : lo;
            max = any ? std::max(max, hi) : hi;
            any = true;
        }
    } keys, left, right;
    for (const auto& s : series_) {
        if (s->empty_ || s->Count() == 0) continue;
        keys.Add(s->minX_, s->maxX_);
        (s->OnRightAxis() ? right : left).Add(s->minY_, s->maxY_);
    }
    if (!keys.any) return;  // nothing to show: keep the view until data come
    const bool fresh = fresh_;
    fresh_ = false;
    const auto apply = [fresh](QCPAxis* axis, const Bounds& b, auto fitted, auto grown) {
        if (b.any)
            axis->setRange(fresh ? fitted(b.min, b.max) : grown(axis->range(), b.min, b.max));
    };
    apply(plot_->xAxis, keys, FittedKeys, GrownKeys);
    apply(plot_->yAxis, left, FittedValues, GrownValues);
    apply(plot_->yAxis2, right, FittedValues, GrownValues);
}

void CTChart::ScheduleReplot(bool full) {
    fullPending_ = fullPending_ || full;
    if (replotPending_) return;
    replotPending_ = true;
    // At most one replot a frame: right away after a quiet spell, else at the frame's end.
    const qint64 since = lastDraw_.isValid() ? lastDraw_.elapsed() : kFrameMs;
    frameTimer_->start(static_cast<int>(std::max<qint64>(0, kFrameMs - since)));
}

bool CTChart::Drawable() const {
    return isVisible() && !window()->isMinimized();
}

void CTChart::Replot() {
    if (!replotPending_) return;
    replotPending_ = false;
    frameTimer_->stop();
    const bool moved = UpdateView();
    fullPending_ = fullPending_ || moved;
    if (!Drawable()) {
        deferred_ = true;  // drawn when the chart shows again
        return;
    }
    deferred_ = false;
    lastDraw_.start();
    ++draws_;
    if (fullPending_) {
        fullPending_ = false;
        ++fullDraws_;
        plot_->replot();
    } else {
        linesLayer_->replot();
    }
}

void CTChart::FlushReplot() {
    Replot();
}

void CTChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Minimising and restoring are told to the top-level window only.
    if (watchedWindow_ != window()) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = window();
        watchedWindow_->installEventFilter(this);
    }
    if (deferred_) ScheduleReplot(false);
}

bool CTChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::WindowStateChange && deferred_ &&
        Drawable())
        ScheduleReplot(false);
    return QWidget::eventFilter(watched, event);
}

QByteArray CTChart::CsvText() const {
    QByteArray out = "series,x,y\n";
    for (const auto& s : series_) {
        const QByteArray title = CsvQuoted(s->Title()).toUtf8();
        for (auto it = s->graph_->data()->constBegin(); it != s->graph_->data()->constEnd(); ++it) {
            out += title + ',' + CsvNumber(it->key) + ',' + CsvNumber(it->value) + '\n';
        }
    }
    return out;
}

bool CTChart::SaveCsv(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray text = CsvText();
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool CTChart::SavePng(const QString& path) {
    UpdateView();
    QSize size = isVisible() ? this->size() : sizeHint();
    size = size.expandedTo(QSize(100, 60));
    const QPixmap image = plot_->toPixmap(size.width(), size.height());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void CTChart::SaveImageAs() {
    QString path = Prompts().SaveFileName("Save as PNG", "PNG images (*.png)");
    if (path.isEmpty()) return;
    path = WithSuffix(path, "png");
    if (!SavePng(path)) {
        Prompts().Notice("Cannot write the file " + path, UserPrompts::Icon::Error);
    }
}

void CTChart::SavePointsAs() {
    QString path = Prompts().SaveFileName("Save points as CSV", "CSV files (*.csv)");
    if (path.isEmpty()) return;
    path = WithSuffix(path, "csv");
    if (!SaveCsv(path)) {
        Prompts().Notice("Cannot write the file " + path, UserPrompts::Icon::Error);
    }
}

QMenu* CTChart::CreateContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->addAction(QString::fromUtf8("Save as PNG…"), this, &CTChart::SaveImageAs);
    menu->addAction(QString::fromUtf8("Save points as CSV…"), this, &CTChart::SavePointsAs);
    menu->addSeparator();
    menu->addAction("Fit", this, &CTChart::FitToData);
    return menu;
}

QSize CTChart::sizeHint() const {
    return QSize(640, 260);
}

QSize CTChart::minimumSizeHint() const {
    return QSize(200, 120);
}
