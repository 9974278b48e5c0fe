// What the console shows for exact drive replies: a scripted peer on a pseudo-terminal answers
// with chosen register contents, so every figure on screen can be checked to the digit.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <map>
#include <memory>
#include <mutex>

#include "app/torvane_dlg.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "support/recording_prompts_qt.h"
#include "support/scripted_peer.h"

using torvane::RegisterAddress;
using torvane::test::Bytes;
using torvane::test::Chunk;
using torvane::test::ReplyFrame;
using Timer = CTorvaneDlg::TimerId;

namespace {

struct Live {
    uint8_t Temperature = 31;
    uint8_t MotorState = 0;
    uint16_t Faults = 0;
    int32_t Speed = -1500;
    int32_t Position = 65535;
    float Phase = 1.25f;
    float Bus = 48.5f;
};

Bytes StatusBlock(const Live& l) {
    Bytes d(26, 0);
    d[0] = l.Temperature;
    d[1] = l.MotorState;
    torvane::PutU16BE(&d[2], l.Faults);
    torvane::PutI32BE(&d[6], l.Speed);
    torvane::PutI32BE(&d[10], l.Position);
    torvane::PutFloatBE(&d[14], l.Phase);
    torvane::PutFloatBE(&d[18], l.Bus);
    torvane::PutU32BE(&d[22], 0xA1B2C3D4);
    return d;
}

// A peer that answers reads from a table of blocks (zeros where none is set) and acknowledges
// writes with a chosen result nibble.
struct PeerRig {
    PeerRig() {
        Set(0x0300, {4, 1});
        peer.SetResponder([this](const Bytes& req) -> std::vector<Chunk> {
            const auto a = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
            std::lock_guard<std::mutex> lock(m);
            if (req[3] == torvane::kFunctionRead) {
                Bytes data = blocks.count(a) ? blocks[a] : Bytes();
                data.resize(req[6], 0);
                return {{{}, ReplyFrame(a, torvane::kFunctionRead, data)}};
            }
            return {{{}, ReplyFrame(a, torvane::kFunctionWrite, {}, writeNibble)}};
        });
        dlg = std::make_unique<CTorvaneDlg>(session);
    }
    void Set(RegisterAddress a, Bytes data) {
        std::lock_guard<std::mutex> lock(m);
        blocks[a] = std::move(data);
    }
    void SetWriteNibble(uint8_t n) {
        std::lock_guard<std::mutex> lock(m);
        writeNibble = n;
    }
    void Open() {
        dlg->PreselectPort(QString::fromStdString(peer.SlavePath()));
        Find<QPushButton>("openButton")->click();
    }
    template <class T>
    T* Find(const char* name) {
        return dlg->findChild<T*>(name);
    }
    QString Text(const char* name) { return Find<QLineEdit>(name)->text(); }
    void SetText(const char* name, const QString& text) { Find<QLineEdit>(name)->setText(text); }

    std::mutex m;
    std::map<RegisterAddress, Bytes> blocks;
    uint8_t writeNibble = 0;
    torvane::test::ScriptedPeer peer;
    torvane::DriveSession session;
    torvane::SerialPort& port = session.Port();
    torvane::DriveState& state = session.State();
    std::unique_ptr<CTorvaneDlg> dlg;
};

}  // namespace

class ConsoleDisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { torvane::SetTimeScale(0.05); }

    void LiveValuesAndOutputAxis_data();
    void LiveValuesAndOutputAxis();
    void WaveformValuePerParameter_data();
    void WaveformValuePerParameter();
    void SetpointReads_data();
    void SetpointReads();
    void ControlWordConfirmations_data();
    void ControlWordConfirmations();
    void FaultsClearedConfirmation();
    void InvalidWorkMode();
};

void ConsoleDisplayTest::LiveValuesAndOutputAxis_data() {
    QTest::addColumn<QString>("ratio");
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<int>("position");
    QTest::addColumn<float>("phase");
    QTest::addColumn<QString>("axisPosition");
    QTest::addColumn<QString>("axisAngle");
    QTest::addColumn<QString>("phaseText");
    QTest::newRow("one turn") << "1"
                              << "65535.0" << 65535 << 1.25f << "65535"
                              << "360.00000"
                              << "1.25";
    QTest::newRow("half ratio truncates") << "2"
                                          << "65535.0" << 65535 << 0.5f << "32767"
                                          << "179.99725"
                                          << "0.5";
    QTest::newRow("negative") << "3"
                              << "4096" << -1000 << 1e-7f << "-333"
                              << "-29.26758"
                              << "1e-07";
    QTest::newRow("leading number of the entry") << "2.5x"
                                                 << "1000" << 1001 << 12345678.f << "400"
                                                 << "144.00000"
                                                 << "1.23457e+07";
    // No quotient for a zero ratio or encoder value: the figures read 0.
    QTest::newRow("zero ratio") << "0"
                                << "65535.0" << 1000 << 0.f << "0"
                                << "0.00000"
                                << "0";
    QTest::newRow("text ratio") << "abc"
                                << "65535.0" << 1000 << 0.f << "0"
                                << "0.00000"
                                << "0";
    QTest::newRow("zero encoder") << "1"
                                  << "" << 1000 << 0.f << "1000"
                                  << "0.00000"
                                  << "0";
    QTest::newRow("saturates") << "1"
                               << "65535" << 2147483647 << 0.f << "2147483647"
                               << "11796660.00000"
                               << "0";
}

void ConsoleDisplayTest::LiveValuesAndOutputAxis() {
    QFETCH(QString, ratio);
    QFETCH(QString, encoder);
    QFETCH(int, position);
    QFETCH(float, phase);
    QFETCH(QString, axisPosition);
    QFETCH(QString, axisAngle);
    QFETCH(QString, phaseText);
    RecordingPrompts prompts;
    PeerRig rig;
    Live live;
    live.Position = position;
    live.Phase = phase;
    rig.Set(0x1200, StatusBlock(live));
    Bytes identity(34, 0);
    const char kIds[] = "TVS-1?";
    std::copy(kIds, kIds + 6, identity.begin());
    const char kModel[] = "KVD417?";
    std::copy(kModel, kModel + 7, identity.begin() + 16);
    rig.Set(0x2100, identity);
    rig.Open();
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kModelPane), QString("KVD417"));
    QCOMPARE(prompts.Texts(), QStringList());
    // The handshake's status read is the short form: no live values yet.
    QCOMPARE(rig.Text("motorPositionEdit"), QString());

    rig.SetText("reductionRatioEdit", ratio);
    rig.SetText("encoderValueEdit", encoder);
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(rig.Text("motorTemperatureEdit"), QString("31"));
    QCOMPARE(rig.Text("currentSpeedEdit"), QString("-1500"));
    QCOMPARE(rig.Text("motorPositionEdit"), QString::number(position));
    QCOMPARE(rig.Text("phaseCurrentEdit"), phaseText);
    QCOMPARE(rig.Text("busbarVoltageEdit"), QString("48.5"));
    QCOMPARE(rig.Text("outputAxisPositionEdit"), axisPosition);
    QCOMPARE(rig.Text("outputAxisAngleEdit"), axisAngle);
    // The 26-byte read of the KVD417 model keeps its last four bytes, shown nowhere.
    QCOMPARE(rig.state.StatusExtra, 0xA1B2C3D4u);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleDisplayTest::WaveformValuePerParameter_data() {
    QTest::addColumn<int>("parameter");
    QTest::addColumn<double>("value");
    QTest::newRow("Supply Voltage") << 1 << 48.5;
    QTest::newRow("Phase Current") << 2 << 1.25;
    QTest::newRow("Current Speed") << 3 << -1500.0;
    QTest::newRow("Motor Position") << 4 << 65535.0;
    QTest::newRow("Output Axis Position") << 5 << 32767.0;
    QTest::newRow("Output Axis Angel") << 6 << double(179.997253f);
}

void ConsoleDisplayTest::WaveformValuePerParameter() {
    QFETCH(int, parameter);
    QFETCH(double, value);
    RecordingPrompts prompts;
    PeerRig rig;
    rig.Set(0x1200, StatusBlock(Live{}));
    rig.Open();
    rig.SetText("reductionRatioEdit", "2");
    rig.Find<QComboBox>("parameterCombo")->setCurrentIndex(parameter);
    QCOMPARE(int(rig.dlg->Fields().WaveParameter), parameter);
    // Chosen while Auto Update is off: nothing is plotted until it is ticked.
    rig.dlg->TimerTick(Timer::kPollTimer);
    CTChart::Series* series = rig.dlg->SampleSeries();
    QCOMPARE(series->Count(), 0);
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(series->Count(), 2);
    QCOMPARE(series->X(1), 1.0);
    QCOMPARE(series->Y(0), value);
    QCOMPARE(series->Y(1), value);
    // Changing the quantity keeps the points of the one before.
    rig.Find<QComboBox>("parameterCombo")->setCurrentIndex(parameter == 1 ? 2 : 1);
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    QCOMPARE(series->Count(), 3);
    QCOMPARE(series->Y(0), value);
    QCOMPARE(series->Y(2), parameter == 1 ? 1.25 : 48.5);
}

void ConsoleDisplayTest::SetpointReads_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    auto bytes = [](const Bytes& b) {
        return QByteArray(reinterpret_cast<const char*>(b.data()), int(b.size()));
    };
    auto speed = [&](int32_t counts) {
        Bytes b(8, 0);
        torvane::PutI32BE(b.data(), counts);
        return bytes(b);
    };
    auto current = [&](float a) {
        Bytes b(4, 0);
        torvane::PutFloatBE(b.data(), a);
        return bytes(b);
    };
    // 4000 counts a revolution: counts x 60 / 4000, rounded half away from zero.
    QTest::newRow("speed 100.005") << 0x2305 << speed(6667) << "speedEdit"
                                   << "100";
    QTest::newRow("speed 1.005") << 0x2305 << speed(67) << "speedEdit"
                                 << "1";
    QTest::newRow("speed -100.005") << 0x2305 << speed(-6667) << "speedEdit"
                                    << "-100";
    QTest::newRow("speed 0.75 rounds up") << 0x2305 << speed(50) << "speedEdit"
                                          << "1";
    QTest::newRow("speed -0.03") << 0x2305 << speed(-2) << "speedEdit"
                                 << "0";
    QTest::newRow("current") << 0x2301 << current(2.5f) << "currentEdit"
                             << "2.5";
    QTest::newRow("current small") << 0x2301 << current(-0.125f) << "currentEdit"
                                   << "-0.125";
    QTest::newRow("current large") << 0x2301 << current(1e6f) << "currentEdit"
                                   << "1e+06";
}

void ConsoleDisplayTest::SetpointReads() {
    QFETCH(int, address);
    QFETCH(QByteArray, data);
    QFETCH(QString, edit);
    QFETCH(QString, text);
    RecordingPrompts prompts;
    PeerRig rig;
    Live live;
    live.Bus = 47.25f;
    live.Phase = 0.75f;
    rig.Set(0x1200, StatusBlock(live));
    rig.Set(RegisterAddress(address), Bytes(data.begin(), data.end()));
    rig.Open();
    rig.Find<QCheckBox>("autoUpdateCheck")->click();
    rig.dlg->TimerTick(Timer::kAutoUpdateTimer);
    rig.SetText("phaseCurrentEdit", "");
    rig.SetText("busbarVoltageEdit", "");
    rig.state.CountsPerRev = 4000;
    const auto count = static_cast<uint8_t>(data.size());
    QCOMPARE(rig.dlg->Link().ReadRegister(RegisterAddress(address), count), uint8_t{0});
    QCOMPARE(rig.Text(edit.toLatin1().constData()), text);
    if (address == 0x2305) {
        // The speed read also refreshes the two live figures from the last long status read.
        QCOMPARE(rig.Text("phaseCurrentEdit"), QString("0.75"));
        QCOMPARE(rig.Text("busbarVoltageEdit"), QString("47.25"));
        QCOMPARE(int(rig.dlg->Fields().SpeedSetpointRpm), text.toInt());
    }
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleDisplayTest::ControlWordConfirmations_data() {
    QTest::addColumn<int>("before");  // caption state: 1 after a confirmed enable
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("nibble");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("comboEnabled");
    QTest::addColumn<int>("motorEnabled");
    QTest::newRow("enable") << 0 << 0x0201 << 0 << 0 << "Disabled" << false << 1;
    QTest::newRow("disable") << 1 << 0x0200 << 0 << 0 << "Enabled" << true << 0;
    QTest::newRow("run changes nothing") << 1 << 0x0300 << 0 << 0 << "Disabled" << false << 1;
    QTest::newRow("refused enable") << 0 << 0x0201 << 9 << 0xF9 << "Enabled" << true << 0;
    QTest::newRow("refused disable") << 1 << 0x0200 << 7 << 0xF7 << "Disabled" << false << 1;
}

void ConsoleDisplayTest::ControlWordConfirmations() {
    QFETCH(int, before);
    QFETCH(int, word);
    QFETCH(int, nibble);
    QFETCH(int, result);
    QFETCH(QString, caption);
    QFETCH(bool, comboEnabled);
    QFETCH(int, motorEnabled);
    RecordingPrompts prompts;
    PeerRig rig;
    rig.Open();
    auto& link = rig.dlg->Link();
    auto write = [&](uint16_t w) {
        rig.dlg->Fields().LastControlWord = w;
        const uint8_t n = torvane::PackControlWord(link.Payload(), w);
        return link.WriteRegister(torvane::reg::kControlWord, n);
    };
    if (before == 1) QCOMPARE(write(0x0201), uint8_t{0});
    rig.SetWriteNibble(uint8_t(nibble));
    QCOMPARE(int(write(uint16_t(word))), result);
    QCOMPARE(rig.Find<QPushButton>("enabledButton")->text(), caption);
    QCOMPARE(rig.Find<QComboBox>("workModeCombo")->isEnabled(), comboEnabled);
    QCOMPARE(int(rig.dlg->Fields().MotorEnabled), motorEnabled);
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleDisplayTest::FaultsClearedConfirmation() {
    RecordingPrompts prompts;
    PeerRig rig;
    Live live;
    live.Faults = 0x0010;
    rig.Set(0x1200, StatusBlock(live));
    rig.Open();
    QCOMPARE(rig.state.StatusFaultWord, uint16_t{0x0010});
    auto& link = rig.dlg->Link();
    const uint8_t n = torvane::PackClearFaults(link.Payload());
    QCOMPARE(link.WriteRegister(torvane::reg::kClearFaults, n), uint8_t{0});
    QCOMPARE(rig.state.StatusFaultWord, uint16_t{0});
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("No Error"));
    // The next status read shows the drive's word again.
    live.Faults = 0;
    rig.Set(0x1200, StatusBlock(live));
    rig.dlg->TimerTick(Timer::kPollTimer);
    QCOMPARE(rig.dlg->PaneText(CTorvaneDlg::kFaultPane), QString("no error"));
    QCOMPARE(prompts.Texts(), QStringList());
}

void ConsoleDisplayTest::InvalidWorkMode() {
    RecordingPrompts prompts;
    PeerRig rig;
    Bytes mode(18, 0);
    mode[0] = 3;
    rig.Set(0x2300, mode);
    rig.Open();
    // The read itself succeeded: the message, and the handshake goes on.
    QCOMPARE(prompts.Texts(), QStringList{"Invalid working mode"});
    QCOMPARE(rig.Find<QComboBox>("workModeCombo")->currentIndex(), -1);
    QVERIFY(!rig.Find<QLineEdit>("currentEdit")->isEnabled());
    QVERIFY(rig.dlg->TimerActive(Timer::kPollTimer));
}

QTEST_MAIN(ConsoleDisplayTest)
#include "console_display_test.moc"
