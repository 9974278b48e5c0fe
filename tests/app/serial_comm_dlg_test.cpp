#include "app/serial_comm_dlg.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "session/port_choice.h"
#include "support/fake_device_tree.h"
#include "support/modal_qt.h"
#include "support/pty_pair.h"
#include "support/recording_prompts_qt.h"

using torvane::DriveSession;
using torvane::Parity;
using torvane::SerialPort;
using torvane::StopBits;

namespace {

// A starter that answers from a function: these tests need a path, not a drive.
class FnStarter : public torvane::SimulatedDriveStarter {
public:
    explicit FnStarter(std::function<std::string(std::string&)> start) : start_(std::move(start)) {}
    std::string Start(std::string& error) override { return start_(error); }
    void Stop() override {}

private:
    std::function<std::string(std::string&)> start_;
};

// A session searching `dir`, with `starter` when given.
struct Session {
    explicit Session(const QTemporaryDir& dir, torvane::SimulatedDriveStarter* starter = nullptr) {
        session.SetSearchFolder(dir.path().toStdString());
        session.SetSimulatedDriveStarter(starter);
    }
    DriveSession session;
    SerialPort& port = session.Port();
};

// termios2 (to read back the rate set on the line) without <asm/termbits.h>, which clashes
// with <termios.h>.
struct Termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

using Pty = torvane::test::PtyPair;

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QList<int> Selections(const CSerialCommDlg& dlg) {
    return {dlg.PortCombo()->currentIndex(), dlg.BaudCombo()->currentIndex(),
            dlg.ParityCombo()->currentIndex(), dlg.StopCombo()->currentIndex()};
}

bool ControlsEnabled(const CSerialCommDlg& dlg, bool enabled) {
    for (QWidget* w :
         {static_cast<QWidget*>(dlg.PortCombo()), static_cast<QWidget*>(dlg.BaudCombo()),
          static_cast<QWidget*>(dlg.ParityCombo()), static_cast<QWidget*>(dlg.StopCombo()),
          static_cast<QWidget*>(dlg.SearchButton())}) {
        if (w->isEnabled() != enabled) return false;
    }
    return true;
}

}  // namespace

class SerialCommDlgTest : public QObject {
    Q_OBJECT

private slots:
    void BaudRateFollowsTheListIndex();
    void InitialisationShowsTheListsAndSelections();
    void PortListShowsFoundPortsOrNull();
    void SearchSelectsFirstItemOfEveryList();
    void NothingIsFilledOrSearchedWhileConnected();
    void OpenWithChosenSettingsClosesWithResultOne();
    void OpenFailureShowsTheReasonAndKeepsTheWindow();
    void SimulatedDriveItemOpensTheStartedDrive();
    void OpenWhileConnectedClosesThePort();
    void ATypedPathIsOpened();
    void AdaptersShowTheirNamesAndOpenTheirPaths();
    void CloseBoxAndEscapeGiveResultTwo();
};

void SerialCommDlgTest::BaudRateFollowsTheListIndex() {
    const struct {
        int index;
        uint32_t baud;
    } cases[] = {{0, 9600},   {1, 14400},  {2, 19600},   {3, 38400},    {4, 57600},
                 {5, 115200}, {6, 115200}, {-1, 115200}, {1000, 115200}};
    for (const auto& c : cases) QCOMPARE(torvane::BaudForIndex(c.index), c.baud);
}

void SerialCommDlgTest::InitialisationShowsTheListsAndSelections() {
    QTemporaryDir dir;
    Session s(dir);
    CSerialCommDlg dlg(s.session);
    QCOMPARE(dlg.windowTitle(), QString::fromUtf8("通讯设置"));
    QCOMPARE(Items(dlg.BaudCombo()),
             QStringList({"9600", "14400", "19600", "38400", "57600", "115200"}));
    QCOMPARE(Items(dlg.ParityCombo()), QString::fromUtf8("无 奇 偶").split(' '));
    QCOMPARE(Items(dlg.StopCombo()), QStringList({"1", "1.5", "2"}));
    QCOMPARE(Selections(dlg), QList<int>({0, 5, 0, 0}));
    QCOMPARE(dlg.BaudCombo()->currentText(), QString("115200"));

    QStringList labels;
    for (QLabel* l : dlg.findChildren<QLabel*>()) labels << l->text();
    for (const char* text : {"Serial Port", " Baud Rate", "Parity Bit ", "Stop Bit"})
        QVERIFY2(labels.contains(text), text);
    QCOMPARE(dlg.SearchButton()->text(), QString("Search"));
    QCOMPARE(dlg.OpenButton()->text(), QString("Open"));
    QVERIFY(dlg.OpenButton()->isDefault());
    // A path the search does not list can be typed, as in the console.
    QVERIFY(dlg.PortCombo()->isEditable());
    QVERIFY(dlg.findChild<QComboBox*>("portCombo") == dlg.PortCombo());
}

void SerialCommDlgTest::PortListShowsFoundPortsOrNull() {
    FnStarter simulated([](std::string&) { return std::string(); });
    QTemporaryDir empty, withPorts;
    Pty a, b, c;
    const std::string usb0 = a.LinkAs(withPorts.path().toStdString(), "ttyUSB0");
    const std::string usb10 = b.LinkAs(withPorts.path().toStdString(), "ttyUSB10");
    const std::string acm2 = c.LinkAs(withPorts.path().toStdString(), "ttyACM2");
    QVERIFY(!usb0.empty() && !usb10.empty() && !acm2.empty());
    const QStringList found = {QString::fromStdString(usb0), QString::fromStdString(usb10),
                               QString::fromStdString(acm2)};

    const struct {
        const QTemporaryDir* dir;
        bool withSimulator;
        QStringList items;
    } cases[] = {
        {&empty, false, {"null"}},
        {&empty, true, {"null", "Simulated drive"}},
        {&withPorts, false, found},
        {&withPorts, true, found + QStringList{"Simulated drive"}},
    };
    for (const auto& c : cases) {
        Session s(*c.dir, c.withSimulator ? &simulated : nullptr);
        CSerialCommDlg dlg(s.session);
        QCOMPARE(Items(dlg.PortCombo()), c.items);
        QCOMPARE(dlg.PortCombo()->currentIndex(), 0);
    }
}

void SerialCommDlgTest::SearchSelectsFirstItemOfEveryList() {
    QTemporaryDir dir;
    Pty a;
    Session s(dir);
    CSerialCommDlg dlg(s.session);
    QCOMPARE(Items(dlg.PortCombo()), QStringList({"null"}));

    // A port plugged in since the window opened shows up; every list is back at item 0.
    const std::string link = a.LinkAs(dir.path().toStdString(), "ttyUSB3");
    dlg.BaudCombo()->setCurrentIndex(3);
    dlg.ParityCombo()->setCurrentIndex(2);
    dlg.StopCombo()->setCurrentIndex(1);
    QTest::mouseClick(dlg.SearchButton(), Qt::LeftButton);
    QCOMPARE(Items(dlg.PortCombo()), QStringList({QString::fromStdString(link)}));
    QCOMPARE(Selections(dlg), QList<int>({0, 0, 0, 0}));
    QCOMPARE(dlg.BaudCombo()->currentText(), QString("9600"));
}

void SerialCommDlgTest::NothingIsFilledOrSearchedWhileConnected() {
    QTemporaryDir dir;
    Pty held;
    const std::string link = held.LinkAs(dir.path().toStdString(), "ttyUSB0");
    FnStarter simulated([](std::string&) { return std::string(); });
    Session s(dir, &simulated);
    SerialPort& port = s.port;
    QVERIFY(s.session.Open(held.SlavePath(), {}));
    CSerialCommDlg dlg(s.session);
    QCOMPARE(dlg.PortCombo()->count(), 0);
    QCOMPARE(Selections(dlg), QList<int>({-1, -1, -1, -1}));
    dlg.Search();
    QCOMPARE(dlg.PortCombo()->count(), 0);
    QCOMPARE(dlg.BaudCombo()->currentIndex(), -1);
    QCOMPARE(dlg.OpenButton()->text(), QString("Open"));
    QVERIFY(port.PortOpen());
    QVERIFY(s.session.Close());
}

void SerialCommDlgTest::OpenWithChosenSettingsClosesWithResultOne() {
    QTemporaryDir dir;
    Pty pty;
    const std::string link = pty.LinkAs(dir.path().toStdString(), "ttyUSB0");
    RecordingPrompts prompts;
    Session s(dir);
    SerialPort& port = s.port;
    CSerialCommDlg dlg(s.session);
    dlg.BaudCombo()->setCurrentIndex(2);
    dlg.ParityCombo()->setCurrentIndex(1);
    dlg.StopCombo()->setCurrentIndex(2);

    OnNextModal([&](QWidget* w) {
        QVERIFY(w == &dlg);
        QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
        if (w->isVisible()) w->close();  // fail rather than hang
    });
    QCOMPARE(dlg.exec(), CSerialCommDlg::kOpened);
    QCOMPARE(prompts.Texts(), QStringList());
    QVERIFY(port.PortOpen());
    QCOMPARE(port.Path(), link);
    QCOMPARE(port.Settings.BaudRate, 19600u);
    QCOMPARE(port.Settings.DataBits, uint8_t{8});
    QCOMPARE(port.Settings.ParityMode, Parity::Odd);
    QCOMPARE(port.Settings.Stop, StopBits::Two);
    QVERIFY(ControlsEnabled(dlg, false));
    QVERIFY(dlg.OpenButton()->isEnabled());
    QCOMPARE(dlg.OpenButton()->text(), QString("Close"));

    // The line really runs at 19600 (not 19200), and bytes reach the receive buffer.
    Termios2 t{};
    QCOMPARE(ioctl(pty.MasterFd(), _IOR('T', 0x2A, Termios2), &t), 0);  // TCGETS2
    QCOMPARE(t.c_ospeed, speed_t{19600});
    const uint8_t bytes[] = {0x5A, 0xA5, 0x01};
    QCOMPARE(::write(pty.MasterFd(), bytes, sizeof bytes), ssize_t{3});
    // The start of a frame: it waits in the receive buffer for its remaining bytes.
    QTRY_COMPARE(port.RxCountNow(), uint16_t{3});
    QVERIFY(s.session.Close());
}

void SerialCommDlgTest::OpenFailureShowsTheReasonAndKeepsTheWindow() {
    QTemporaryDir dir;
    Pty present, vanishing, held;
    const std::string presentLink = present.LinkAs(dir.path().toStdString(), "ttyUSB0");
    const std::string vanishingLink = vanishing.LinkAs(dir.path().toStdString(), "ttyUSB1");
    const std::string heldLink = held.LinkAs(dir.path().toStdString(), "ttyUSB2");
    QTemporaryDir empty;
    SerialPort holder;  // another user of ttyUSB2
    QVERIFY(holder.Open(held.SlavePath()));

    const struct {
        const char* what;
        const QTemporaryDir* dir;
        std::string link;  // the item to select; "" for item 0
        int stopIndex;
        QString reasonPart;
    } cases[] = {
        {"no port found", &empty, "", 0, "no port selected"},
        {"port held elsewhere", &dir, heldLink, 0, "in use"},
        {"line settings the platform lacks", &dir, presentLink, 1, "1.5"},
        {"port vanished after the search", &dir, vanishingLink, 0, "No such file"},
    };
    for (const auto& c : cases) {
        RecordingPrompts prompts;
        Session s(*c.dir);
        SerialPort& port = s.port;
        CSerialCommDlg dlg(s.session);
        dlg.show();
        if (!c.link.empty()) {
            const int index = dlg.PortCombo()->findText(QString::fromStdString(c.link));
            QVERIFY2(index >= 0, c.what);
            dlg.PortCombo()->setCurrentIndex(index);
        }
        dlg.StopCombo()->setCurrentIndex(c.stopIndex);
        if (c.link == vanishingLink) ::unlink(vanishingLink.c_str());
        QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);

        QCOMPARE(prompts.NoticeCount(), 1);
        const QStringList lines = prompts.Last().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QString::fromUtf8("Open fail！"));
        QVERIFY2(lines[1].contains(c.reasonPart), qPrintable(c.what + (": " + lines[1])));
        QCOMPARE(prompts.LastIcon(), UserPrompts::Icon::None);
        QVERIFY2(dlg.isVisible(), c.what);
        QVERIFY(!port.PortOpen());
        QVERIFY(ControlsEnabled(dlg, true));
        QCOMPARE(dlg.OpenButton()->text(), QString("Open"));
        dlg.hide();
    }
    QVERIFY(holder.Close());
}

void SerialCommDlgTest::SimulatedDriveItemOpensTheStartedDrive() {
    QTemporaryDir empty;
    Pty drive;
    int starts = 0;
    bool fail = true;
    FnStarter start([&](std::string& error) {
        ++starts;
        if (fail) {
            error = "no pseudo-terminal left";
            return std::string();
        }
        return drive.SlavePath();
    });
    RecordingPrompts prompts;
    Session s(empty, &start);
    SerialPort& port = s.port;
    CSerialCommDlg dlg(s.session);
    dlg.show();
    dlg.PortCombo()->setCurrentIndex(1);
    QCOMPARE(dlg.PortCombo()->currentText(), QString("Simulated drive"));

    dlg.OpenOrClose();
    QCOMPARE(starts, 1);
    QCOMPARE(prompts.Last(), QString::fromUtf8("Open fail！\nno pseudo-terminal left"));
    QVERIFY(dlg.isVisible());
    QVERIFY(!port.PortOpen());

    fail = false;
    dlg.OpenOrClose();
    QCOMPARE(starts, 2);
    QCOMPARE(dlg.result(), CSerialCommDlg::kOpened);
    QVERIFY(!dlg.isVisible());
    QVERIFY(port.PortOpen());
    QCOMPARE(port.Path(), drive.SlavePath());
    QCOMPARE(port.Settings.BaudRate, 115200u);
    QVERIFY(s.session.Close());
}

void SerialCommDlgTest::OpenWhileConnectedClosesThePort() {
    QTemporaryDir dir;
    Pty pty;
    pty.LinkAs(dir.path().toStdString(), "ttyUSB0");
    RecordingPrompts prompts;
    Session s(dir);
    SerialPort& port = s.port;
    QVERIFY(s.session.Open(pty.SlavePath(), {}));
    CSerialCommDlg dlg(s.session);
    dlg.show();
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    QVERIFY(!port.PortOpen());
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.OpenButton()->text(), QString("Open"));
    QVERIFY(ControlsEnabled(dlg, true));
    QCOMPARE(prompts.Texts(), QStringList());

    // The port is free again: a search lists it and Open reconnects.
    dlg.Search();
    QCOMPARE(dlg.PortCombo()->count(), 1);
    dlg.BaudCombo()->setCurrentIndex(5);
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    QCOMPARE(dlg.result(), CSerialCommDlg::kOpened);
    QVERIFY(port.PortOpen());
    QVERIFY(s.session.Close());
}

void SerialCommDlgTest::ATypedPathIsOpened() {
    QTemporaryDir empty;
    Pty pty;  // not in the search folder: only typing reaches it
    RecordingPrompts prompts;
    Session s(empty);
    CSerialCommDlg dlg(s.session);
    dlg.show();
    QCOMPARE(Items(dlg.PortCombo()), QStringList({"null"}));
    QCOMPARE(dlg.PortCombo()->accessibleName(), QString("Serial Port"));
    QCOMPARE(dlg.BaudCombo()->accessibleName(), QString("Baud Rate"));
    dlg.PortCombo()->lineEdit()->selectAll();
    QTest::keyClicks(dlg.PortCombo()->lineEdit(), QString::fromStdString(pty.SlavePath()));
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(dlg.result(), CSerialCommDlg::kOpened);
    QCOMPARE(s.port.Path(), pty.SlavePath());
    QVERIFY(s.session.Close());
}

// Two adapters of one kind, told apart by their serial numbers: choosing one opens its path
// (the description stays out of it), and its stable name, shown as the item's tooltip, can be
// typed in instead.
void SerialCommDlgTest::AdaptersShowTheirNamesAndOpenTheirPaths() {
    torvane::test::FakeDeviceTree tree;
    Pty first, second;
    const std::string usb0 = first.LinkAs(tree.Dev(), "ttyUSB0");
    const std::string usb1 = second.LinkAs(tree.Dev(), "ttyUSB1");
    QVERIFY(!usb0.empty() && !usb1.empty());
    tree.AddUsbTty("ttyUSB0", "1-2", {"FTDI", "FT232R USB UART", "A10KQ3X2", "0403", "6001"});
    tree.AddUsbTty("ttyUSB1", "1-3", {"FTDI", "FT232R USB UART", "B7", "0403", "6001"});
    tree.AddStableName("usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0", "ttyUSB0");
    tree.AddStableName("usb-FTDI_FT232R_USB_UART_B7-if00-port0", "ttyUSB1");
    const QString stable0 =
        QString::fromStdString(tree.StableNamePath("usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0"));
    const QString stable1 =
        QString::fromStdString(tree.StableNamePath("usb-FTDI_FT232R_USB_UART_B7-if00-port0"));

    // The byte the port sends reaches `pty`: the right device was opened.
    const auto reaches = [](SerialPort& port, Pty& pty) {
        const uint8_t byte = 0x5A;
        uint8_t got = 0;
        return port.Write(&byte, 1) == 1 && pty.Receive(&got, 1) == 1 && got == byte;
    };

    RecordingPrompts prompts;
    for (int chosen : {1, 0}) {
        DriveSession session;
        session.SetSearchFolder(tree.Dev(), tree.Sys());
        CSerialCommDlg dlg(session);
        dlg.show();
        QCOMPARE(Items(dlg.PortCombo()),
                 QStringList({QString::fromStdString(usb0) +
                                  QString::fromUtf8(" — FTDI FT232R USB UART, serial A10KQ3X2"),
                              QString::fromStdString(usb1) +
                                  QString::fromUtf8(" — FTDI FT232R USB UART, serial B7")}));
        QCOMPARE(dlg.PortCombo()->itemData(0, Qt::ToolTipRole).toString(), stable0);
        QCOMPARE(dlg.PortCombo()->itemData(1, Qt::ToolTipRole).toString(), stable1);
        dlg.PortCombo()->setCurrentIndex(chosen);
        QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
        QCOMPARE(prompts.Texts(), QStringList());
        QCOMPARE(dlg.result(), CSerialCommDlg::kOpened);
        QCOMPARE(session.Port().Path(), chosen == 0 ? usb0 : usb1);
        QVERIFY(reaches(session.Port(), chosen == 0 ? first : second));
        QVERIFY(session.Close());
    }

    DriveSession session;
    session.SetSearchFolder(tree.Dev(), tree.Sys());
    CSerialCommDlg dlg(session);
    dlg.show();
    dlg.PortCombo()->setCurrentIndex(0);
    dlg.PortCombo()->lineEdit()->selectAll();
    QTest::keyClicks(dlg.PortCombo()->lineEdit(), stable1);
    QTest::mouseClick(dlg.OpenButton(), Qt::LeftButton);
    QCOMPARE(prompts.Texts(), QStringList());
    QCOMPARE(dlg.result(), CSerialCommDlg::kOpened);
    QCOMPARE(QString::fromStdString(session.Port().Path()), stable1);
    QVERIFY(reaches(session.Port(), second));
    QVERIFY(session.Close());
}

void SerialCommDlgTest::CloseBoxAndEscapeGiveResultTwo() {
    QTemporaryDir dir;
    const std::function<void(QWidget*)> closers[] = {
        [](QWidget* w) { w->close(); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); },
    };
    for (const auto& closeIt : closers) {
        Session s(dir);
        CSerialCommDlg dlg(s.session);
        OnNextModal(closeIt);
        QCOMPARE(dlg.exec(), CSerialCommDlg::kClosed);
        QVERIFY(!s.port.PortOpen());
    }
}

QTEST_MAIN(SerialCommDlgTest)
#include "serial_comm_dlg_test.moc"
