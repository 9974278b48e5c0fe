#include "console_sim_rig.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "protocol/frame.h"
#include "support/modal_qt.h"

namespace {

torvane::sim::SimOptions Unpaced(torvane::sim::SimOptions options) {
    options.Pacing = false;
    return options;
}

QString Hex(uint32_t value, int digits) {
    return QString("%1").arg(value, digits, 16, QChar('0')).toUpper();
}

// Checks `closeWhen` every 5 ms while the box is open, for at most 20 s.
void CloseWhenReady(QPointer<CDlgCommCan> box, std::function<bool(CDlgCommCan*)> closeWhen,
                    int triesLeft) {
    if (box.isNull() || !box->IsOpen()) return;
    if (!closeWhen || closeWhen(box.data()) || triesLeft == 0) {
        box->close();  // the title bar's close box
        return;
    }
    QTimer::singleShot(
        5, [box, closeWhen, triesLeft] { CloseWhenReady(box, closeWhen, triesLeft - 1); });
}

}  // namespace

ConsoleSimRig::ConsoleSimRig(torvane::sim::SimOptions options) : sim(Unpaced(std::move(options))) {
    if (!sim.Start()) qFatal("simulated drive did not start");
    dlg = std::make_unique<CTorvaneDlg>(session);
}

ConsoleSimRig::~ConsoleSimRig() {
    dlg.reset();
}

bool ConsoleSimRig::Open() {
    dlg->PreselectPort(QString::fromStdString(sim.SlavePath()));
    Find<QPushButton>("openButton")->click();
    Mark();
    return session.IsOpen() && dlg->TimerActive(CTorvaneDlg::TimerId::kPollTimer);
}

QStringList ConsoleSimRig::Frames(bool withPolls) const {
    QStringList lines;
    const auto log = sim.Requests();
    for (size_t i = mark_; i < log.size(); ++i) {
        const auto& r = log[i];
        QString line;
        if (r.Function == torvane::kFunctionRead) {
            line = QString("read %1 %2").arg(Hex(r.Address, 4)).arg(r.Count);
            if (!withPolls && line == "read 1200 6") continue;
        } else {
            line = "write " + Hex(r.Address, 4);
            for (size_t k = torvane::kDataOffset; k + 2 < r.Bytes.size(); ++k) {
                line += " " + Hex(r.Bytes[k], 2);
            }
        }
        lines << line;
    }
    return lines;
}

void ConsoleSimRig::Mark() {
    mark_ = sim.RequestCount();
}

void ConsoleSimRig::PickWorkMode(int index) {
    auto* combo = Find<QComboBox>("workModeCombo");
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

bool ConsoleSimRig::EnableIn(int mode) {
    PickWorkMode(mode);
    // The first enable after power-up or a reset initialises the drive behind the Info box.
    const bool initialised = sim.WithBehaviour([](torvane::sim::DriveBehaviour& drive) {
        return drive.Registers().Matching.HallDirection == 1;
    });
    if (!initialised) {
        WhenInfoBoxOpens([](CDlgCommCan* box) {
            return box->Text() == "Initialization is complete, please close";
        });
    }
    Click("enabledButton");
    Mark();
    return dlg->Fields().MotorEnabled == 1;
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms);
}

void WhenInfoBoxOpens(std::function<bool(CDlgCommCan*)> closeWhen, QString* opened,
                      std::function<void(CDlgCommCan*)> onOpen) {
    OnNextModalOf<CDlgCommCan>(
        [closeWhen, opened, onOpen](CDlgCommCan* box) {
            if (opened != nullptr) *opened = box->Text();
            if (onOpen) onOpen(box);
            CloseWhenReady(box, closeWhen, 4000);
        },
        4000);
}
