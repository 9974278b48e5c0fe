#include "tuning/ct_chart.h"

#include <qcustomplot.h>

#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "support/recording_prompts_qt.h"

class CTChartTest : public QObject {
    Q_OBJECT

private slots:
    void AppendValueNumbersPointsFromZeroAfterClear();
    void AppendPointKeepsXOrderAndReturnsIndex();
    void SeriesAtCreatesMissingSeriesAndRejectsBadIndex();
    void ConfigurationsGiveTheirSeriesAndLook();
    void AppendsAreCoalescedIntoOneReplot();
    void ViewFollowsDataUntilUserZoomsAndDoubleClickFits();
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

void CTChartTest::AppendsAreCoalescedIntoOneReplot() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    QSignalSpy replots(chart.Plot(), &QCustomPlot::afterReplot);
    CTChart::Series* s = chart.SeriesAt(0);
    for (int i = 0; i < 5000; ++i) s->AppendValue(std::sin(i * 0.01));
    QCOMPARE(replots.count(), 0);
    QVERIFY(chart.ReplotPending());
    QCoreApplication::processEvents();
    QCOMPARE(replots.count(), 1);
    QVERIFY(!chart.ReplotPending());
    QCOMPARE(s->Count(), 5000);
}

void CTChartTest::ViewFollowsDataUntilUserZoomsAndDoubleClickFits() {
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.resize(600, 300);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    CTChart::Series* s = chart.SeriesAt(0);
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
