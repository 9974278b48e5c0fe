// The console under a decimal-comma locale (LANG and LC_ALL de_DE.UTF-8, set before the
// application object exists, as a German desktop would): every number it reads from an entry
// or shows still uses the dot.
#include <qcustomplot.h>
#include <QCheckBox>
#include <QDoubleValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "app/torvane_app.h"
#include "app/torvane_dlg.h"
#include "protocol/frame.h"
#include "serial/timing.h"
#include "support/recording_prompts_qt.h"
#include "support/scripted_peer.h"

using torvane::RegisterAddress;
using torvane::test::Bytes;
using torvane::test::Chunk;
using torvane::test::ReplyFrame;
using Timer = CTorvaneDlg::TimerId;

class ConsoleLocaleTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }
    void TheEnvironmentAsksForCommas();
    void EntriesAreReadWithTheDot();
    void FiguresAndBandsAreShownWithTheDot();
};

void ConsoleLocaleTest::TheEnvironmentAsksForCommas() {
    // Without the fix, this is what the console would use.
    QCOMPARE(QLocale::system().decimalPoint(), QString(","));
    // What the application made of it: the C conventions for numbers.
    QCOMPARE(QString(std::setlocale(LC_NUMERIC, nullptr)), QString("C"));
    QCOMPARE(QLocale().decimalPoint(), QString("."));
    QDoubleValidator validator;
    QString text = "2.5";
    int at = 0;
    QCOMPARE(validator.validate(text, at), QValidator::Acceptable);
}

namespace {

// A peer answering reads from a table of blocks (zeros elsewhere), and a console over it.
struct Rig {
    Rig() {
        peer.SetResponder([this](const Bytes& req) -> std::vector<Chunk> {
            const auto a = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
            std::lock_guard<std::mutex> lock(m);
            if (req[3] != torvane::kFunctionRead) return {{{}, ReplyFrame(a, 2, {})}};
            Bytes data = blocks.count(a) ? blocks[a] : Bytes();
            data.resize(req[6], 0);
            return {{{}, ReplyFrame(a, torvane::kFunctionRead, data)}};
        });
        Set(0x0300, {4, 1});
        dlg = std::make_unique<CTorvaneDlg>(session);
    }
    void Set(RegisterAddress a, Bytes data) {
        std::lock_guard<std::mutex> lock(m);
        blocks[a] = std::move(data);
    }
    QLineEdit* Edit(const char* name) { return dlg->findChild<QLineEdit*>(name); }
    void OpenWithAutoUpdate() {
        dlg->PreselectPort(QString::fromStdString(peer.SlavePath()));
        dlg->findChild<QPushButton*>("openButton")->click();
        dlg->findChild<QCheckBox*>("autoUpdateCheck")->click();
    }

    std::mutex m;
    std::map<RegisterAddress, Bytes> blocks;
    torvane::test::ScriptedPeer peer;
    torvane::DriveSession session;
    std::unique_ptr<CTorvaneDlg> dlg;
};

Bytes Status(int32_t position, float phase, float bus) {
    Bytes d(22, 0);
    torvane::PutI32BE(&d[10], position);
    torvane::PutFloatBE(&d[14], phase);
    torvane::PutFloatBE(&d[18], bus);
    return d;
}

}  // namespace

void ConsoleLocaleTest::EntriesAreReadWithTheDot() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Set(0x1200, Status(1001, 0, 0));
    rig.OpenWithAutoUpdate();
    rig.Edit("reductionRatioEdit")->setText("2.5");
    rig.Edit("encoderValueEdit")->setText("1000.5");
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(rig.dlg->Fields().RatioInput, 2.5f);
    QCOMPARE(rig.dlg->Fields().EncoderInput, 1000.5f);
    // 1001 / 2.5 = 400 (not 1001 / 2 = 500); 400 / 1000.5 x 360 = 143.92804 degrees.
    QCOMPARE(rig.Edit("outputAxisPositionEdit")->text(), QString("400"));
    QCOMPARE(rig.Edit("outputAxisAngleEdit")->text(), QString("143.92804"));
    QCOMPARE(torvane::LeadingDouble("2.5"), 2.5);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleLocaleTest::FiguresAndBandsAreShownWithTheDot() {
    RecordingPrompts prompts;
    Rig rig;
    rig.Set(0x1200, Status(0, 0.5f, 48.25f));
    rig.OpenWithAutoUpdate();
    rig.dlg->SelectWaveParameter(2);  // Phase Current
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    rig.Set(0x1200, Status(0, 1.75f, 48.25f));
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(rig.Edit("phaseCurrentEdit")->text(), QString("1.75"));
    QCOMPARE(rig.Edit("busbarVoltageEdit")->text(), QString("48.25"));
    QCOMPARE(rig.Edit("outputAxisAngleEdit")->text(), QString("0.00000"));

    std::string band;
    QCOMPARE(torvane::CheckRange("3", 0.5, 2.5, band), uint8_t{2});
    QCOMPARE(QString::fromStdString(band), QString("allowed band 0.5 up to 2.5"));

    // The chart's axis labels: 0.5 to 1.75 gets fractional ticks, written with the dot.
    QCustomPlot* plot = rig.dlg->Chart()->Plot();
    plot->rescaleAxes();
    plot->replot();
    const QVector<QString> labels = plot->yAxis->tickVectorLabels();
    QVERIFY(!labels.isEmpty());
    bool fractional = false;
    for (const QString& label : labels) {
        QVERIFY2(!label.contains(','), qPrintable(label));
        fractional = fractional || label.contains('.');
    }
    QVERIFY(fractional);
    QCOMPARE(prompts.Texts(), QStringList());
}

int main(int argc, char** argv) {
    // Before the application object: Qt takes the C library's and its own locale from here.
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    CTorvaneApp app(argc, argv);
    ConsoleLocaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "console_locale_test.moc"
