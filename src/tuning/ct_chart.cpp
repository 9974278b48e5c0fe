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

}  // namespace

QColor CTChart::ColourFromRgbValue(uint32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// ---- Series ----

void CTChart::Series::ClearPoints() {
    graph_->data()->clear();
    empty_ = true;
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
    }
    data.add(QCPGraphData(x, y));
    Track(x, y);
    chart_->ScheduleReplot();
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

CTChart::CTChart(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    plot_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    plot_->legend->setVisible(false);
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

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
    QCPGraph* graph = plot_->addGraph(plot_->xAxis, rightAxis ? plot_->yAxis2 : plot_->yAxis);
    graph->setName(title);
    QPen pen(colour);
    pen.setWidth(lineWidth);
    graph->setPen(pen);
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setScatterStyle(QCPScatterStyle::ssNone);
    // Keeps replots of millions of points fast: per pixel column only its extremes are drawn.
    graph->setAdaptiveSampling(true);
    series_.push_back(std::unique_ptr<Series>(new Series(this, graph)));
    UpdateInteractionAxes();
    ScheduleReplot();
    return series_.back().get();
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
    AddSeries("通道1", ColourFromRgbValue(0xFF), 3);
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

void CTChart::FitToData() {
    follow_ = true;
    ApplyFit();
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

void CTChart::ScheduleReplot() {
    if (replotPending_) return;
    replotPending_ = true;
    QTimer::singleShot(0, this, &CTChart::Replot);
}

void CTChart::Replot() {
    if (!replotPending_) return;
    replotPending_ = false;
    if (follow_) ApplyFit();
    // A wide pen over a dense series is stroked as thousands of joined segments; the fast
    // polyline method is several times quicker there and its rougher joins are invisible.
    // Sparse curves (a step response) keep the clean joins.
    int32_t most = 0;
    for (const auto& s : series_) most = std::max(most, s->Count());
    plot_->setPlottingHint(QCP::phFastPolylines, most > 2 * std::max(plot_->width(), 1));
    plot_->replot();
}

void CTChart::FlushReplot() {
    Replot();
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
    if (replotPending_) Replot();
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
