#include "tuning/ct_chart.h"

#include <qcustomplot.h>

#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "support/recording_prompts_qt.h"
#include "tuning/line_graph.h"

class CTChartTest : public QObject {
    Q_OBJECT

private slots:
    void AppendValueNumbersPointsFromZeroAfterClear();
    void AppendPointKeepsXOrderAndReturnsIndex();
    void SeriesAtCreatesMissingSeriesAndRejectsBadIndex();
    void ConfigurationsGiveTheirSeriesAndLook();
    void AppendsAreCoalescedIntoOneReplot();
    void ViewFollowsDataUntilUserZoomsAndDoubleClickFits();
    void LiveRangeIsStableAndGrowsWhenDataLeaveIt();
    void AppendsDrawOnlyTheNewStretchAndLookTheSame();
    void NothingIsDrawnWhileHiddenOrMinimised();
    void BackgroundSeriesLieBeneathTheOthers();
    void CsvHoldsEveryPointExactly();
    void SaveActionsUseThePromptsAndReportFailures();
    void PngIsWrittenAsImage();
};

void CTChartTest::AppendValueNumbersPointsFromZeroAfterClear() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.ResetDisplayFlag();
    QVERIFY(!chart.View3D());
    CTChart::Series* s = chart.SeriesAt(0);
    QVERIFY(s);
    const double values[] = {1.5, -2.0, 1e9, 0.0};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(s->AppendValue(values[i], QString(), 0xFF), i);
        QCOMPARE(s->X(i), double(i));
        QCOMPARE(s->Y(i), values[i]);
    }
    QCOMPARE(s->Count(), 4);
    s->ClearPoints();
    QCOMPARE(s->Count(), 0);
    QCOMPARE(s->AppendValue(7.0), 0);
    QCOMPARE(s->X(0), 0.0);
    QCOMPARE(s->Y(0), 7.0);
    // Out of range reads are harmless.
    QCOMPARE(s->Y(5), 0.0);
    QCOMPARE(s->X(-1), 0.0);
}

void CTChartTest::AppendPointKeepsXOrderAndReturnsIndex() {
    struct Step {
        double x, y;
        int index;
    };
    const Step steps[] = {{0, 10, 0}, {2, 12, 1}, {4, 14, 2}, {1, 11, 1},
                          {-1, 9, 0}, {2, 13, 3}, {10, 20, 6}};
    CTChart chart;
    CTChart::Series* s = chart.SeriesAt(0);
    for (const Step& st : steps) QCOMPARE(s->AppendPoint(st.x, st.y, QString(), 0xFF00), st.index);
    const double xs[] = {-1, 0, 1, 2, 2, 4, 10};
    const double ys[] = {9, 10, 11, 13, 12, 14, 20};
    QCOMPARE(s->Count(), 7);
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(s->X(i), xs[i]);
        QCOMPARE(s->Y(i), ys[i]);
    }
    // AppendValue after AppendPoint puts the point at X = count (7), below the 10 already there.
    QCOMPARE(s->AppendValue(5.0), 6);
    QCOMPARE(s->X(6), 7.0);
    QCOMPARE(s->Y(6), 5.0);
    QCOMPARE(s->X(7), 10.0);
}

void CTChartTest::SeriesAtCreatesMissingSeriesAndRejectsBadIndex() {
    CTChart chart;
    QCOMPARE(chart.SeriesCount(), 0);
    CTChart::Series* s2 = chart.SeriesAt(2);
    QVERIFY(s2);
    QCOMPARE(chart.SeriesCount(), 3);
    QCOMPARE(chart.SeriesAt(2), s2);
    QVERIFY(chart.SeriesAt(0) != s2);
    QCOMPARE(chart.SeriesAt(-1), nullptr);
    QCOMPARE(chart.SeriesAt(CTChart::kMaxSeries), nullptr);
    QCOMPARE(chart.SeriesCount(), 3);
    // Series are independent.
    chart.SeriesAt(0)->AppendValue(1);
    s2->AppendValue(1);
    s2->AppendValue(2);
    chart.SeriesAt(0)->ClearPoints();
    QCOMPARE(chart.SeriesAt(0)->Count(), 0);
    QCOMPARE(s2->Count(), 2);
}

void CTChartTest::ConfigurationsGiveTheirSeriesAndLook() {
    struct Expect {
        QString title;
        QColor colour;
        int width;
        bool right;
    };
    struct Case {
        void (CTChart::*configure)();
        QString title;
        bool legend;
        QList<Expect> series;
    };
    const QColor red(255, 0, 0), lime(0, 255, 0), blue(0, 0, 255);
    const Case cases[] = {
        {&CTChart::ConfigureRealTimeDisplay,
         "Real-time Display",
         false,
         {{QString::fromUtf8("通道1"), red, 3, false}}},
        {&CTChart::ConfigureResponseUpper,
         "The response waveform",
         true,
         {{"setting value", lime, 2, false},
          {"actual value", blue, 2, false},
          {"deviation value", red, 2, true}}},
        {&CTChart::ConfigureResponseLower,
         "The response waveform",
         true,
         {{"actual value", lime, 2, false}}},
    };
    for (const Case& c : cases) {
        CTChart chart;
        (chart.*c.configure)();
        QCOMPARE(chart.Title(), c.title);
        QCOMPARE(chart.LegendVisible(), c.legend);
        QCOMPARE(chart.SeriesCount(), int(c.series.size()));
        for (int i = 0; i < c.series.size(); ++i) {
            CTChart::Series* s = chart.SeriesAt(i);
            QCOMPARE(s->Title(), c.series[i].title);
            QCOMPARE(s->Colour(), c.series[i].colour);
            QCOMPARE(s->LineWidth(), c.series[i].width);
            QCOMPARE(s->OnRightAxis(), c.series[i].right);
            QVERIFY(s->Graph()->adaptiveSampling());
        }
    }
    CTChart live;
    live.ConfigureRealTimeDisplay();
    QCOMPARE(live.BottomAxisTitle(), QString("Index Cycle"));
    QCOMPARE(live.Background(), QColor(0xC0, 0xC0, 0xC0));
    QVERIFY(!live.Plot()->xAxis->grid()->visible());
    QCOMPARE(live.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(live.sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QVERIFY(live.sizeHint().width() >= 400);
}

namespace {

// Shows the chart and lets its first replots and exposes pass.
void ShowAndSettle(CTChart& chart) {
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTRY_VERIFY(!chart.ReplotPending());
    QTest::qWait(50);
}

const LineGraph* Line(CTChart::Series* s) {
    return dynamic_cast<const LineGraph*>(s->Graph());
}

}  // namespace

void CTChartTest::AppendsAreCoalescedIntoOneReplot() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    ShowAndSettle(chart);
    const int draws = chart.DrawCount();
    CTChart::Series* s = chart.SeriesAt(0);
    for (int i = 0; i < 5000; ++i) s->AppendValue(std::sin(i * 0.01));
    QCOMPARE(chart.DrawCount(), draws);
    QVERIFY(chart.ReplotPending());
    QTRY_VERIFY(!chart.ReplotPending());
    QCOMPARE(chart.DrawCount(), draws + 1);
    QCOMPARE(s->Count(), 5000);
    // Appends in quick succession: at most one replot a frame, however they are spread.
    QElapsedTimer clock;
    clock.start();
    const int before = chart.DrawCount();
    for (int i = 0; i < 50; ++i) {
        s->AppendValue(0.5);
        QTest::qWait(2);
    }
    QTRY_VERIFY(!chart.ReplotPending());
    QVERIFY2(
        chart.DrawCount() - before <= clock.elapsed() / 16 + 1,
        qPrintable(
            QString("%1 replots in %2 ms").arg(chart.DrawCount() - before).arg(clock.elapsed())));
}

void CTChartTest::ViewFollowsDataUntilUserZoomsAndDoubleClickFits() {
    // A chart without a live range: every replot fits the data exactly.
    CTChart chart;
    CTChart::Series* s = chart.AddSeries("response", Qt::blue, 2);
    QVERIFY(!chart.LiveRange());
    chart.resize(600, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    for (int i = 0; i < 100; ++i) s->AppendValue(i * 2.0);
    s->AppendValue(std::nan(""));  // a gap: must not spoil the fit
    chart.FlushReplot();
    const QCPRange x = chart.Plot()->xAxis->range();
    const QCPRange y = chart.Plot()->yAxis->range();
    QCOMPARE(x.lower, 0.0);
    QCOMPARE(x.upper, 99.0);
    QVERIFY(y.lower <= 0.0 && y.upper >= 198.0);
    QVERIFY(y.upper < 250.0);

    // A wheel turn over the plot zooms, and the view stops following new points.
    QWidget* canvas = chart.Plot();
    const QPoint centre = canvas->rect().center();
    QWheelEvent wheel(centre, canvas->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QVERIFY(!chart.FollowsData());
    const QCPRange zoomed = chart.Plot()->xAxis->range();
    QVERIFY(zoomed.size() < 99.0);
    s->AppendValue(1000.0);
    chart.FlushReplot();
    QCOMPARE(chart.Plot()->xAxis->range(), zoomed);

    // Double-click fits again, including the new point.
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, centre);
    chart.FlushReplot();
    QVERIFY(chart.FollowsData());
    QCOMPARE(chart.Plot()->xAxis->range().upper, 101.0);
    QVERIFY(chart.Plot()->yAxis->range().upper >= 1000.0);

    // A single point and an empty chart still give a usable range.
    s->ClearPoints();
    s->AppendValue(5.0);
    chart.FlushReplot();
    QVERIFY(chart.Plot()->xAxis->range().size() > 0);
    QVERIFY(chart.Plot()->yAxis->range().contains(5.0));
}

void CTChartTest::LiveRangeIsStableAndGrowsWhenDataLeaveIt() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    QVERIFY(chart.LiveRange());
    CTChart::Series* s = chart.SeriesAt(0);
    const auto x = [&] { return chart.Plot()->xAxis->range(); };
    const auto y = [&] { return chart.Plot()->yAxis->range(); };
    struct Step {
        const char* what;
        std::function<void()> act;
        QCPRange x, y;
    };
    const Step steps[] = {
        {"a first sample: padded by a twentieth of its level, room for 100 points",
         [&] { s->AppendValue(48.0); },
         {0, 100},
         {45.6, 50.4}},
        {"noise of 0.05 V stays inside: nothing moves",
         [&] {
             for (int i = 0; i < 99; ++i) s->AppendValue(48.0 + (i % 2 ? 0.05 : -0.05));
         },
         {0, 100},
         {45.6, 50.4}},
        {"above the range: it grows past the value by a quarter of the new span",
         [&] { s->AppendValue(52.0); },
         {0, 100},
         {45.6, 53.6}},
        {"far below: the lower side grows, the upper stays",
         [&] { s->AppendValue(-10.0); },
         {0, 126.25},
         {-25.9, 53.6}},
        {"back to 48 V: the range does not shrink by itself",
         [&] { s->AppendValue(48.0); },
         {0, 126.25},
         {-25.9, 53.6}},
        {"fit: shrinks to the data, padded",
         [&] { chart.FitToData(); },
         {0, 102 * 1.25},
         {-16.2, 58.2}},
        {"clear: the next sample is fitted afresh",
         [&] {
             s->ClearPoints();
             s->AppendValue(0.0);
         },
         {0, 100},
         {-1, 1}},
    };
    for (const Step& step : steps) {
        step.act();
        chart.FlushReplot();  // never shown: the view is still kept up to date
        QVERIFY2(qAbs(x().lower - step.x.lower) < 1e-9 && qAbs(x().upper - step.x.upper) < 1e-9,
                 qPrintable(QString("%1: x %2..%3").arg(step.what).arg(x().lower).arg(x().upper)));
        QVERIFY2(qAbs(y().lower - step.y.lower) < 1e-9 && qAbs(y().upper - step.y.upper) < 1e-9,
                 qPrintable(QString("%1: y %2..%3").arg(step.what).arg(y().lower).arg(y().upper)));
    }
    // The value grid shows on silver: darker than the background.
    QVERIFY(chart.Plot()->yAxis->grid()->visible());
    QVERIFY(chart.Plot()->yAxis->grid()->pen().color().lightness() < 0xC0 - 40);
}

// While the view stands, an append strokes only the new segments onto the cached line, and
// redraws neither the image nor the axes; the result looks like the line drawn in one go.
void CTChartTest::AppendsDrawOnlyTheNewStretchAndLookTheSame() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.resize(500, 250);
    CTChart::Series* s = chart.SeriesAt(0);
    s->AppendValue(48.0);
    ShowAndSettle(chart);
    const int rebuilds = Line(s)->Rebuilds();
    const int fullDraws = chart.FullDrawCount();
    const int draws = chart.DrawCount();
    for (int i = 1; i < 100; ++i) {
        s->AppendValue(48.0 + 1.5 * std::sin(i * 0.3) + (i % 3) * 0.2);
        chart.FlushReplot();
    }
    QCOMPARE(chart.DrawCount(), draws + 99);
    QCOMPARE(chart.FullDrawCount(), fullDraws);
    QCOMPARE(Line(s)->Rebuilds(), rebuilds);

    // Drawn bit by bit, then drawn again from the data in one go: the same pixels, but where
    // strokes drawn apart overlap, whose edges are blended twice (a shade, not a shape).
    QTest::qWait(50);
    const QImage pieces = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    LineGraph* line = dynamic_cast<LineGraph*>(s->Graph());
    line->DataChanged();
    chart.Plot()->replot();
    QCOMPARE(line->Rebuilds(), rebuilds + 1);
    const QImage whole = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int red = 0, differ = 0;
    for (int yy = 0; yy < whole.height(); ++yy) {
        for (int xx = 0; xx < whole.width(); ++xx) {
            const QColor a = pieces.pixelColor(xx, yy), b = whole.pixelColor(xx, yy);
            red += b.red() > 200 && b.green() < 80;
            differ += std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                std::abs(a.blue() - b.blue())}) > 96;
        }
    }
    QVERIFY2(red > 500, qPrintable(QString::number(red)));
    QVERIFY2(differ < red / 50,
             qPrintable(QString("%1 pixels differ, %2 red").arg(differ).arg(red)));

    // A sample outside the range moves the view: everything is drawn again, once.
    s->AppendValue(100.0);
    chart.FlushReplot();
    QCOMPARE(chart.FullDrawCount(), fullDraws + 1);
    QCOMPARE(Line(s)->Rebuilds(), rebuilds + 2);
}

void CTChartTest::BackgroundSeriesLieBeneathTheOthers() {
    CTChart chart;
    chart.ConfigureResponseUpper();
    chart.resize(500, 300);
    CTChart::Series* front = chart.SeriesAt(1);  // "actual value", blue
    // Added after the front series, and still drawn beneath it; out of the legend.
    CTChart::Series* back = chart.AddBackgroundSeries("tried", Qt::red, 8);
    QCOMPARE(chart.Plot()->legend->itemCount(), 3);
    ShowAndSettle(chart);
    for (int x = 0; x <= 100; ++x) {
        front->AppendPoint(x, 1.0);
        back->AppendPoint(x, x < 50 ? 1.0 : 2.0);  // on the front line, then on its own
    }
    chart.FlushReplot();
    QTest::qWait(50);
    const QImage image = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto at = [&](double x, double y) {
        return image.pixelColor(int(chart.Plot()->xAxis->coordToPixel(x)),
                                int(chart.Plot()->yAxis->coordToPixel(y)));
    };
    const auto blue = [](QColor c) { return c.blue() > 180 && c.red() < 80; };
    const auto red = [](QColor c) { return c.red() > 180 && c.blue() < 80; };
    for (double x : {10.0, 25.0, 40.0}) QVERIFY2(blue(at(x, 1.0)), qPrintable(at(x, 1.0).name()));
    // Where it is alone it shows, above the grid and the axis rectangle's background.
    for (double x : {60.0, 75.0, 90.0}) QVERIFY2(red(at(x, 2.0)), qPrintable(at(x, 2.0).name()));
}

void CTChartTest::NothingIsDrawnWhileHiddenOrMinimised() {
    const std::function<void(QWidget&)> away[] = {[](QWidget& w) { w.hide(); },
                                                  [](QWidget& w) { w.showMinimized(); }};
    const std::function<void(QWidget&)> back[] = {[](QWidget& w) { w.show(); },
                                                  [](QWidget& w) { w.showNormal(); }};
    for (int i = 0; i < 2; ++i) {
        CTChart chart;
        chart.ConfigureRealTimeDisplay();
        CTChart::Series* s = chart.SeriesAt(0);
        s->AppendValue(1.0);
        ShowAndSettle(chart);
        away[i](chart);
        QTRY_VERIFY(!chart.isVisible() || chart.isMinimized());
        const int draws = chart.DrawCount();
        for (int k = 0; k < 20; ++k) {
            s->AppendValue(k * 10.0);
            QTest::qWait(5);
        }
        chart.FlushReplot();
        QTest::qWait(50);
        QCOMPARE(chart.DrawCount(), draws);
        QVERIFY(chart.Plot()->yAxis->range().contains(190.0));  // the view still follows
        back[i](chart);
        QTRY_COMPARE(chart.DrawCount(), draws + 1);
    }
}

void CTChartTest::CsvHoldsEveryPointExactly() {
    CTChart chart;
    chart.ConfigureResponseUpper();
    chart.SeriesAt(0)->AppendValue(0.1);
    chart.SeriesAt(0)->AppendValue(-3);
    chart.SeriesAt(2)->AppendPoint(2.5, 1e-300);
    CTChart::Series* quoted = chart.AddSeries("say \"hi\", now", Qt::black, 1);
    quoted->AppendPoint(-1, 123456789.125);
    const QByteArray expected =
        "series,x,y\n"
        "\"setting value\",0,0.10000000000000001\n"
        "\"setting value\",1,-3\n"
        "\"deviation value\",2.5,1e-300\n"
        "\"say \"\"hi\"\", now\",-1,123456789.125\n";
    QCOMPARE(chart.CsvText(), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath("points.csv");
    QVERIFY(chart.SaveCsv(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);

    CTChart live;
    live.ConfigureRealTimeDisplay();
    live.SeriesAt(0)->AppendValue(1);
    QCOMPARE(live.CsvText(), QString::fromUtf8("series,x,y\n\"通道1\",0,1\n").toUtf8());
}

void CTChartTest::SaveActionsUseThePromptsAndReportFailures() {
    QTemporaryDir dir;
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.SeriesAt(0)->AppendValue(42);
    RecordingPrompts prompts;

    // The context menu offers both saves.
    std::unique_ptr<QMenu> menu(chart.CreateContextMenu(nullptr));
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    QVERIFY(texts.contains(QString::fromUtf8("Save as PNG…")));
    QVERIFY(texts.contains(QString::fromUtf8("Save points as CSV…")));

    // A name without suffix gets one; a cancelled dialog writes nothing and says nothing.
    prompts.QueueFileName(dir.filePath("wave"));
    chart.SavePointsAs();
    QVERIFY(QFile::exists(dir.filePath("wave.csv")));
    prompts.QueueFileName(dir.filePath("wave"));
    chart.SaveImageAs();
    QVERIFY(QFile::exists(dir.filePath("wave.png")));
    chart.SavePointsAs();  // no scripted name: cancelled
    QCOMPARE(prompts.NoticeCount(), 0);
    QCOMPARE(int(prompts.Entries().size()), 3);
    QCOMPARE(prompts.Entries()[0].kind, RecordingPrompts::Kind::SaveFile);

    // A folder that does not exist: the failure is shown, not swallowed.
    const QString bad = dir.filePath("missing/wave.csv");
    prompts.QueueFileName(bad);
    chart.SavePointsAs();
    QCOMPARE(prompts.NoticeCount(), 1);
    QVERIFY(prompts.Last().contains(bad));
    QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::Error);
    QVERIFY(!chart.SavePng(dir.filePath("missing/wave.png")));
}

void CTChartTest::PngIsWrittenAsImage() {
    QTemporaryDir dir;
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    for (int i = 0; i < 200; ++i) chart.SeriesAt(0)->AppendValue(i % 17);
    const QString path = dir.filePath("chart.png");
    QVERIFY(chart.SavePng(path));  // never shown: drawn at its size hint
    QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), chart.sizeHint());
    // The red series is drawn somewhere on the silver background.
    bool red = false, silver = false;
    for (int y = 0; y < image.height() && !(red && silver); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            red = red || (c.red() > 200 && c.green() < 60 && c.blue() < 60);
            silver = silver || c == QColor(0xC0, 0xC0, 0xC0);
        }
    }
    QVERIFY(red);
    QVERIFY(silver);
}

QTEST_MAIN(CTChartTest)
#include "ct_chart_test.moc"
