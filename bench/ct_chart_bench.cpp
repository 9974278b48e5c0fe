// The console's live chart, fed as the console feeds it: the real CTChart configured as the
// console's "Real-time Display", at the size the console gives it, one "Supply Voltage" sample
// (48 V with 0.05 V of noise) every 50 ms.
//
// For each length (1 000 points, 72 000 = 1 h, 1 728 000 = 24 h at 20 Hz) the series is filled
// to that length, then fed at 20 Hz for a while. Printed:
//   - process CPU (getrusage, user + system) over the fed period, as % of one core;
//   - per sample, how long the UI thread was busy with the chart and its window (replot, paint
//     and hand-over to the display; the append itself is not timed): median and maximum, the
//     freeze a user can feel;
//   - how many frames were painted, to show that replots are coalesced;
//   - full replots (the range refitted, every layer drawn and painted): median and maximum.
// Then the window is hidden and fed on: no frame may be painted.
//
// Run under a real X server (xvfb-run -a), where painting reaches the display as it does for a
// user; without DISPLAY it falls back to the offscreen platform. Exits non-zero when a goal is
// missed: median below 8 ms and maximum below 20 ms at every length, CPU below 15 % of a core.
//
// Options: --size WxH (default 1198x371, the console's chart in its 1240 x 760 window),
//          --seconds S (fed period per length, default 10), --png PREFIX (saves the window at
//          each length as PREFIX-<points>.png), --lengths a,b,c.
#include <sys/resource.h>

#include <qcustomplot.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tuning/ct_chart.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Max(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

// Times every top-level event the UI thread handles for the chart and its window (timer ticks
// of the feed excluded), and counts the frames the plot paints.
class TimedApp : public QApplication {
public:
    using QApplication::QApplication;

    QWidget* Window = nullptr;
    QWidget* PlotWidget = nullptr;
    double BusyMs = 0;  // since the last TakeBusy()
    int Frames = 0;

    double TakeBusy() {
        const double b = BusyMs;
        BusyMs = 0;
        return b;
    }

    bool notify(QObject* receiver, QEvent* event) override {
        if (event->type() == QEvent::Paint && receiver == PlotWidget) ++Frames;
        if (depth_ > 0 || !Watched(receiver)) return QApplication::notify(receiver, event);
        ++depth_;
        QElapsedTimer t;
        t.start();
        const bool r = QApplication::notify(receiver, event);
        BusyMs += static_cast<double>(t.nsecsElapsed()) / 1e6;
        --depth_;
        return r;
    }

private:
    bool Watched(QObject* o) const {
        if (!Window) return false;
        if (o == Window->windowHandle()) return true;  // expose and update requests
        for (; o; o = o->parent())
            if (o == Window) return true;
        return false;
    }
    int depth_ = 0;
};

// Runs the event loop for `ms`, sleeping while there is nothing to do.
void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Phase {
    long Points = 0;
    double Cpu = 0, Rate = 0, Median = 0, Max = 0, FullMedian = 0, FullMax = 0;
    int Samples = 0, Frames = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int width = 1198, height = 371;
    double seconds = 10;
    std::string png;
    std::vector<long> lengths = {1000, 72000, 24L * 3600 * 20};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i], val = argv[i + 1];
        if (opt == "--size") {
            std::sscanf(val.c_str(), "%dx%d", &width, &height);
        } else if (opt == "--seconds") {
            seconds = std::atof(val.c_str());
        } else if (opt == "--png") {
            png = val;
        } else if (opt == "--lengths") {
            lengths.clear();
            for (const char* p = val.c_str(); *p;) {
                char* end = nullptr;
                lengths.push_back(std::strtol(p, &end, 10));
                p = *end == ',' ? end + 1 : end;
            }
        }
    }

    TimedApp app(argc, argv);
    CTChart chart;
    chart.ConfigureRealTimeDisplay();
    chart.ResetDisplayFlag();
    chart.resize(width, height);
    chart.show();
    app.Window = &chart;
    app.PlotWidget = chart.Plot();
    CTChart::Series* series = chart.SeriesAt(0);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    const auto sample = [&] { return 48.0 + noise(random); };

    std::printf("chart %dx%d on %s, 20 Hz, %.0f s a length\n", width, height,
                qPrintable(QGuiApplication::platformName()), seconds);
    std::vector<Phase> phases;
    for (const long points : lengths) {
        Phase ph;
        ph.Points = points;
        series->ClearPoints();
        for (long i = 0; i < points; ++i) series->AppendValue(sample());
        // Settle: the first replot after the fill, and any resize or expose.
        Run(500);

        std::vector<double> busy;
        app.TakeBusy();
        app.Frames = 0;
        QElapsedTimer wall;
        QTimer feed;
        feed.setTimerType(Qt::PreciseTimer);
        QObject::connect(&feed, &QTimer::timeout, [&] {
            busy.push_back(app.TakeBusy());  // the UI work since the previous sample
            series->AppendValue(sample());
        });
        const double cpu0 = CpuSeconds();
        wall.start();
        feed.start(50);
        Run(static_cast<int>(seconds * 1000));
        feed.stop();
        const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        ph.Cpu = (CpuSeconds() - cpu0) / elapsed * 100;
        ph.Frames = app.Frames;
        if (!busy.empty()) busy.erase(busy.begin());  // the one before the first sample
        ph.Samples = static_cast<int>(busy.size()) + 1;
        ph.Rate = ph.Samples / elapsed;
        ph.Median = Median(busy);
        ph.Max = Max(busy);

        // Full replots: refitted range, every layer drawn, painted and handed to the display.
        std::vector<double> full;
        for (int i = 0; i < 10; ++i) {
            series->AppendValue(sample());
            QElapsedTimer t;
            t.start();
            chart.FitToData();
            chart.FlushReplot();
            chart.repaint();
            full.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        ph.FullMedian = Median(full);
        ph.FullMax = Max(full);
        if (!png.empty())
            chart.grab().save(QString::fromStdString(png + "-" + std::to_string(points) + ".png"));
        std::printf(
            "%8ld points: cpu %5.1f %% of a core, %4.1f samples/s, %4d frames; per sample "
            "median %6.2f ms, max %6.2f ms; full replot median %6.2f ms, max %6.2f ms\n",
            points, ph.Cpu, ph.Rate, ph.Frames, ph.Median, ph.Max, ph.FullMedian, ph.FullMax);
        std::fflush(stdout);
        phases.push_back(ph);
    }

    // Hidden (as when minimised): the samples are kept, nothing is drawn.
    chart.hide();
    app.processEvents();
    app.Frames = 0;
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] { series->AppendValue(sample()); });
    feed.start(50);
    Run(3000);
    feed.stop();
    const double hiddenCpu =
        (CpuSeconds() - cpu0) / (static_cast<double>(wall.nsecsElapsed()) / 1e9) * 100;
    std::printf("hidden, 3 s at 20 Hz: cpu %.2f %% of a core, %d frames\n", hiddenCpu, app.Frames);

    bool ok = app.Frames == 0;
    for (const Phase& p : phases)
        ok = ok && p.Median < 8 && p.Max < 20 && p.FullMax < 20 && p.Cpu < 15;
    std::printf("goals (median < 8 ms, max < 20 ms, cpu < 15 %%, nothing drawn hidden): %s\n",
                ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
