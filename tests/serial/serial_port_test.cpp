// SerialPort over real pseudo-terminals.
#include "serial/serial_port.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "serial/port_search.h"
#include "serial/serial_baud_posix.h"
#include "support/fake_device_tree.h"
#include "support/pty_pair.h"
#include "support/scripted_peer.h"

// termios2 (for the rate the tool set) without <asm/termbits.h>, which clashes with <termios.h>.
struct Termios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

namespace torvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::FakeDeviceTree;
using test::PtyPair;
using test::ScriptedPeer;

bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SerialPort, OpenIsExclusiveWithinAndAcrossProcesses) {
    ScriptedPeer peer;
    SerialPort first, second;
    std::string reason;
    ASSERT_TRUE(first.Open(peer.SlavePath(), &reason)) << reason;
    EXPECT_FALSE(second.Open(peer.SlavePath(), &reason));
    EXPECT_NE(reason.find("in use"), std::string::npos) << reason;
    EXPECT_FALSE(second.PortOpen());
    EXPECT_EQ(second.Path(), "");

    const pid_t child = fork();
    if (child == 0) {
        SerialPort other;
        _exit(other.Open(peer.SlavePath()) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened it";

    const auto exclusive = [&] {
        const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int flag = -1;
        ioctl(fd, TIOCGEXCL, &flag);
        ::close(fd);
        return flag;
    };
    EXPECT_EQ(exclusive(), 1);
    EXPECT_TRUE(first.Close());
    // The terminal outlives the descriptor (the peer keeps its master open): the exclusive
    // flag must go with the close, or only root could open the port again.
    EXPECT_EQ(exclusive(), 0);
    EXPECT_TRUE(second.Open(peer.SlavePath(), &reason)) << reason;  // free again after close
}

TEST(SerialPort, OpenFailuresGiveTheSystemsReason) {
    SerialPort port;
    std::string reason;
    EXPECT_FALSE(port.Open("/dev/does-not-exist-torvane", &reason));
    EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
    EXPECT_FALSE(port.Open("/dev/null", &reason));
    EXPECT_NE(reason.find("not a serial device"), std::string::npos) << reason;
    EXPECT_FALSE(port.Open("", &reason));
    EXPECT_FALSE(port.PortOpen());
}

TEST(SerialPort, AppliesTheLineSettings) {
    struct Case {
        LineSettings settings;
        bool opens;
    };
    const Case cases[] = {
        {{115200, 8, Parity::None, StopBits::One}, true},
        {{19600, 8, Parity::Odd, StopBits::Two}, true},
        {{9600, 8, Parity::Even, StopBits::One}, true},
        {{14400, 8, Parity::None, StopBits::One}, true},
        {{57600, 8, Parity::None, StopBits::OneAndHalf}, false},
    };
    for (const Case& c : cases) {
        ScriptedPeer peer;
        SerialPort port;
        port.Settings = c.settings;
        std::string reason;
        ASSERT_EQ(port.Open(peer.SlavePath(), &reason), c.opens) << c.settings.BaudRate << reason;
        if (!c.opens) {
            EXPECT_NE(reason.find("1.5"), std::string::npos);
            continue;
        }
        Termios2 t{};
        ASSERT_EQ(ioctl(peer.MasterFd(), _IOR('T', 0x2A, Termios2), &t), 0);  // TCGETS2
        EXPECT_EQ(t.c_ospeed, c.settings.BaudRate);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.settings.Stop == StopBits::Two);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
        EXPECT_NE(t.c_cflag & CLOCAL, 0u);
        EXPECT_TRUE(port.Close());
    }
}

// A pseudo-terminal forces 8 bits without parity, so parity is checked on the termios record.
TEST(SerialPort, ParityAndStopBitsInTheTermiosRecord) {
    struct Case {
        Parity parity;
        StopBits stop;
        tcflag_t set, clear;
    };
    const Case cases[] = {
        {Parity::None, StopBits::One, CS8 | CLOCAL | CREAD, PARENB | PARODD | CSTOPB | CRTSCTS},
        {Parity::Odd, StopBits::One, PARENB | PARODD, CSTOPB},
        {Parity::Even, StopBits::Two, PARENB | CSTOPB, PARODD},
    };
    for (const Case& c : cases) {
        ::termios t{};
        t.c_cflag = CRTSCTS | PARODD | CSTOPB | HUPCL;
        t.c_iflag = IXON | IXOFF | INPCK;
        std::string reason;
        ASSERT_TRUE(ApplyLineSettings(t, {115200, 8, c.parity, c.stop}, reason));
        EXPECT_EQ(t.c_cflag & c.set, c.set);
        EXPECT_EQ(t.c_cflag & c.clear, 0u);
        EXPECT_EQ(t.c_cflag & HUPCL, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK), 0u);
    }
}

TEST(SerialPort, ReceivesWritesAndStartsEveryOpenEmpty) {
    ScriptedPeer peer;
    peer.SetResponder(nullptr);
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    const uint8_t req[3] = {1, 2, 3};
    EXPECT_EQ(port.Write(req, 3), 3);  // not a frame: the peer ignores it
    peer.Send(Bytes(300, 0x11));
    ASSERT_TRUE(WaitFor([&] { return port.RxCountNow() == 300; }));
    EXPECT_TRUE(port.Close());
    // Bytes left at close answer nothing of the next connection: they are gone after reopen,
    // and what arrives then is received from the front of the buffer.
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    EXPECT_EQ(port.RxCountNow(), 0);
    peer.Send({0x22, 0x33});
    ASSERT_TRUE(WaitFor([&] { return port.RxCountNow() == 2; }));
    port.WithRx([](const uint8_t* bytes, size_t count) {
        EXPECT_EQ(Bytes(bytes, bytes + count), Bytes({0x22, 0x33}));
        return size_t{0};
    });
    EXPECT_TRUE(port.Close());
}

// A full buffer drops its oldest bytes and keeps receiving; the event comes once per episode,
// which ends when the consumer has emptied the buffer (or the port is reopened).
TEST(SerialPort, OverflowDropsTheOldestBytesOnceReportedAndKeepsListening) {
    ScriptedPeer peer;
    SerialPort port;
    std::atomic<int> overflows{0};
    port.SetEventHandler([&](PortEvent e) {
        if (e == PortEvent::Overflow) ++overflows;
    });
    const auto contents = [&] {
        Bytes seen;
        port.WithRx([&](const uint8_t* bytes, size_t count) {
            seen.assign(bytes, bytes + count);
            return size_t{0};
        });
        return seen;
    };
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    Bytes first(1000);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
    peer.Send(first);
    ASSERT_TRUE(WaitFor([&] { return port.RxCountNow() == 1000; }));
    peer.Send(Bytes(30, 0xEE));
    ASSERT_TRUE(WaitFor([&] { return overflows == 1; }));
    ASSERT_TRUE(WaitFor([&] { return contents().back() == 0xEE; }));
    Bytes want(first.begin() + 6, first.end());
    want.insert(want.end(), 30, 0xEE);
    EXPECT_EQ(contents(), want);

    // More noise: still listening, still the newest 1024 bytes, no second message.
    peer.Send(Bytes(700, 0x77));
    ASSERT_TRUE(WaitFor([&] { return contents().back() == 0x77; }));
    ASSERT_TRUE(WaitFor([&] { return contents()[1024 - 700] == 0x77; }));
    EXPECT_EQ(port.RxCountNow(), 1024);
    EXPECT_EQ(overflows, 1);

    // Once the consumer has taken everything, the next overflow is a new episode.
    port.WithRx([](const uint8_t*, size_t count) { return count; });
    peer.Send(Bytes(1100, 0x55));
    ASSERT_TRUE(WaitFor([&] { return overflows == 2; }));
    EXPECT_TRUE(port.PortOpen());
    EXPECT_TRUE(port.Close());

    // A reopened port starts a new episode too.
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    peer.Send(Bytes(1100, 0x66));
    ASSERT_TRUE(WaitFor([&] { return overflows == 3; }));
    EXPECT_TRUE(port.Close());
}

TEST(SerialPort, WriteReachesThePeer) {
    ScriptedPeer peer;
    peer.SetResponder(nullptr);
    SerialPort port;
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    const Bytes frame = test::ReplyFrame(0x2100, 1, {});
    EXPECT_EQ(port.Write(frame.data(), static_cast<uint8_t>(frame.size())), frame.size());
    ASSERT_TRUE(peer.WaitRequests(1));
    EXPECT_EQ(peer.Requests()[0], frame);
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(port.Write(frame.data(), 9), 0);  // closed
}

TEST(SerialPort, HangUpIsReported) {
    ScriptedPeer peer;
    SerialPort port;
    std::atomic<bool> lost{false};
    port.SetEventHandler([&](PortEvent e) { lost = e == PortEvent::Lost; });
    ASSERT_TRUE(port.Open(peer.SlavePath()));
    peer.HangUp();
    EXPECT_TRUE(WaitFor([&] { return lost.load(); }));
    EXPECT_TRUE(port.Close());
}

// Watches for opens of files: IN_OPEN of the entries of a folder, or of single files.
class OpenWatch {
public:
    OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~OpenWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Add(const std::string& path) { return inotify_add_watch(fd_, path.c_str(), IN_OPEN) >= 0; }
    // Opened entries since the last call ("" for a watched file itself). Opening a watched
    // folder to list it is not counted: that is reading the folder, not opening a device.
    std::vector<std::string> Opened() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) return names;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if (!(e->mask & IN_ISDIR)) names.push_back(e->len ? e->name : "");
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int fd_;
};

// A fake /dev and /sys in a temporary folder: the search lists what sysfs says, in a stable
// order, and opens none of the candidates. The candidate "devices" are FIFOs, which any open
// would reach (and a read-write open would succeed on); inotify reports every open of them, and
// of the pseudo-terminals that links lead to.
TEST(PortSearch, ListsPortsFromSysfsWithoutOpeningAny) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("torvane-search-" + std::to_string(getpid()));
    const fs::path dev = root / "dev", sys = root / "sys", tty = sys / "class" / "tty";
    fs::remove_all(root);
    fs::create_directories(dev);
    fs::create_directories(tty);
    struct Tty {
        const char* name;
        bool device;       // hardware behind it
        const char* type;  // ttyS: the UART type attribute (nullptr: none)
        bool node;         // present under dev
    };
    const Tty ttys[] = {
        {"ttyS0", true, "4", true},      // a 16550A
        {"ttyS1", true, "0", true},      // registered, no UART
        {"ttyS2", true, nullptr, true},  // no type: no UART confirmed
        {"ttyUSB10", true, nullptr, true}, {"ttyUSB2", true, nullptr, true},
        {"ttyUSB3", true, nullptr, false},  // unplugged: no node left
        {"ttyUSB4", false, nullptr, true},  // no hardware behind it
        {"ttyACM0", true, nullptr, true},  {"ttyAMA0", true, nullptr, true},
        {"rfcomm1", true, nullptr, true},  {"tty5", true, nullptr, true},  // not a serial port name
        {"ttyUSBx", true, nullptr, true},
    };
    for (const Tty& t : ttys) {
        fs::create_directories(tty / t.name);
        if (t.device) fs::create_directories(tty / t.name / "device");
        if (t.type) std::ofstream(tty / t.name / "type") << t.type << "\n";
        if (t.node) {
            ASSERT_EQ(mkfifo((dev / t.name).c_str(), 0666), 0);
        }
    }
    ASSERT_EQ(mkfifo((dev / "console").c_str(), 0666), 0);
    // Links the kernel does not list as ttys: to a pseudo-terminal (a port, as socat makes
    // them), under a ttyS name (no UART can be confirmed), and one whose target is gone.
    PtyPair linked, linkedAsUart;
    ASSERT_FALSE(linked.LinkAs(dev.string(), "ttyACM7").empty());
    ASSERT_FALSE(linkedAsUart.LinkAs(dev.string(), "ttyS9").empty());
    fs::create_symlink("/nonexistent", dev / "ttyUSB8");

    OpenWatch watch;
    ASSERT_TRUE(watch.Add(dev.string()));
    ASSERT_TRUE(watch.Add(linked.SlavePath()));
    ASSERT_TRUE(watch.Add(linkedAsUart.SlavePath()));

    const auto at = [&](const char* name) { return (dev / name).string(); };
    const std::vector<std::string> want = {at("ttyS0"),   at("ttyUSB2"), at("ttyUSB10"),
                                           at("ttyACM0"), at("ttyACM7"), at("ttyAMA0"),
                                           at("rfcomm1")};
    EXPECT_EQ(SearchPorts(dev.string(), sys.string()), want);
    EXPECT_EQ(watch.Opened(), std::vector<std::string>{});

    // The watch does see an open, so the empty list above means something.
    const int fd = ::open(at("ttyUSB2").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(watch.Opened(), std::vector<std::string>{"ttyUSB2"});

    const fs::path empty = root / "empty";
    fs::create_directories(empty);
    EXPECT_TRUE(SearchPorts(empty.string(), sys.string()).empty());
    EXPECT_TRUE(SearchPorts((root / "missing").string(), sys.string()).empty());
    fs::remove_all(root);
}

// The port's own search takes the system's sysfs; a link to a pseudo-terminal under a port name
// in the searched folder is found as before.
TEST(PortSearch, SearchFillsThePortList) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("torvane-dev-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    PtyPair a, b;
    const std::string second = a.LinkAs(dir.string(), "ttyUSB10");
    const std::string first = b.LinkAs(dir.string(), "ttyUSB9");
    SerialPort port;
    port.Search(dir.string());
    EXPECT_EQ(port.PortList, (std::vector<std::string>{first, second}));
    fs::remove_all(dir);
    port.Search(dir.string());
    EXPECT_TRUE(port.PortList.empty());
}

// Each port as the search describes it from a fake sysfs: USB adapters by what their device
// folder names, everything else by nothing; stable names from serial/by-id. Nothing is opened:
// not the FIFOs standing for the ports, not the pseudo-terminal behind a link.
TEST(PortSearch, DescribesUsbAdaptersAndFindsTheirStableNames) {
    FakeDeviceTree tree;
    using Usb = FakeDeviceTree::Usb;
    const std::string longProduct(300, 'p');
    tree.AddUsbTty("ttyUSB0", "1-2", Usb{"FTDI", "FT232R USB UART", "A10KQ3X2", "0403", "6001"});
    // A dual adapter: two ports of one device, on interfaces 0 and 1.
    const Usb dual{"FTDI", "Dual RS232-HS", {}, "0403", "6010"};
    tree.AddUsbTty("ttyUSB1", "1-3", dual, 0);
    tree.AddUsbTty("ttyUSB2", "1-3", dual, 1);
    tree.AddUsbTty("ttyACM0", "1-4", Usb{{}, "STM32 Virtual ComPort", {}, "0483", "5740"}, 0,
                   FakeDeviceTree::Driver::Acm);
    tree.AddUsbTty("ttyUSB3", "1-5", Usb{{}, {}, {}, "1a86", "7523"});  // names nothing
    tree.AddUsbTty(
        "ttyUSB4", "1-6",
        Usb{std::string("Acme\tCorp\0", 10), "\xff\xfe" + longProduct, "SN 1\n2", "0403", "6001"});
    tree.AddPlatformTty("ttyS0", "4");  // a 16550A on the mainboard
    for (const char* name :
         {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyACM0", "ttyUSB3", "ttyUSB4", "ttyS0"})
        tree.AddNode(name);
    const char* ftdiId = "usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0";
    const char* stmId = "usb-STMicroelectronics_STM32_Virtual_ComPort-if00";
    tree.AddStableName(ftdiId, "ttyUSB0");
    tree.AddStableName(stmId, "ttyACM0");
    tree.AddStableName("usb-gone-if00-port0", "ttyUSB9");  // its adapter was unplugged
    PtyPair pty;  // a link the kernel does not list: a port, described by nothing
    ASSERT_FALSE(pty.LinkAs(tree.Dev(), "ttyACM7").empty());

    OpenWatch watch;
    ASSERT_TRUE(watch.Add(tree.Dev()));
    ASSERT_TRUE(watch.Add(tree.Dev() + "/serial/by-id"));
    ASSERT_TRUE(watch.Add(pty.SlavePath()));

    const struct {
        const char* name;
        std::string description;
        std::string stableName;
    } want[] = {
        {"ttyS0", "", ""},
        {"ttyUSB0", "FTDI FT232R USB UART, serial A10KQ3X2", tree.StableNamePath(ftdiId)},
        {"ttyUSB1", "FTDI Dual RS232-HS", ""},
        {"ttyUSB2", "FTDI Dual RS232-HS, interface 1", ""},
        {"ttyUSB3", "USB 1a86:7523", ""},
        {"ttyUSB4", "Acme Corp ??" + std::string(62, 'p') + "..., serial SN 1 2", ""},
        {"ttyACM0", "STM32 Virtual ComPort", tree.StableNamePath(stmId)},
        {"ttyACM7", "", ""},
    };
    const std::vector<FoundPort> found = FindPorts(tree.Dev(), tree.Sys());
    ASSERT_EQ(found.size(), std::size(want));
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].Path, tree.DevPath(want[i].name)) << i;
        EXPECT_EQ(found[i].Description, want[i].description) << want[i].name;
        EXPECT_EQ(found[i].StableName, want[i].stableName) << want[i].name;
    }
    EXPECT_EQ(watch.Opened(), std::vector<std::string>{});

    // The port's own search keeps both views of one result.
    SerialPort port;
    port.Search(tree.Dev(), tree.Sys());
    EXPECT_EQ(port.FoundPorts, found);
    EXPECT_EQ(port.PortList, SearchPorts(tree.Dev(), tree.Sys()));
    EXPECT_EQ(port.PortList.size(), found.size());
    EXPECT_EQ(watch.Opened(), std::vector<std::string>{});
}

// A stable name opens the device it leads to, and the exclusive open holds whichever name
// each side uses.
TEST(SerialPort, AStableNameOpensItsDeviceExclusively) {
    FakeDeviceTree tree;
    ScriptedPeer peer;
    const std::string direct = tree.DevPath("ttyUSB0");
    ASSERT_EQ(::symlink(peer.SlavePath().c_str(), direct.c_str()), 0);
    tree.AddStableName("usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0", "ttyUSB0");
    const std::string stable = tree.StableNamePath("usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0");

    SerialPort byId, byPath;
    std::string reason;
    ASSERT_TRUE(byId.Open(stable, &reason)) << reason;
    EXPECT_EQ(byId.Path(), stable);
    EXPECT_FALSE(byPath.Open(direct, &reason));
    EXPECT_NE(reason.find("in use"), std::string::npos) << reason;
    const Bytes frame = test::ReplyFrame(0x2100, 1, {});
    EXPECT_EQ(byId.Write(frame.data(), static_cast<uint8_t>(frame.size())), frame.size());
    ASSERT_TRUE(peer.WaitRequests(1));
    EXPECT_TRUE(byId.Close());
    EXPECT_TRUE(byPath.Open(direct, &reason)) << reason;
    EXPECT_TRUE(byPath.Close());
}

}  // namespace
}  // namespace torvane
