// The console's display rules in core: motor state, fault words and their rotation, live
// values and output-axis figures, CAN encodings, port list items, the open-failure text and
// the plotted quantities. The console and torvane-cli show what these return.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocol/fault_texts.h"
#include "session/can_settings.h"
#include "session/console_state.h"
#include "session/port_choice.h"
#include "session/status_display.h"
#include "session/wave_parameter.h"

namespace torvane {
namespace {

TEST(MotorState, OneRuleForTheTextAndTheFlag) {
    const struct {
        uint8_t state;
        const char* text;
        int enabled;  // -1: unchanged
    } cases[] = {{0, "Disable motor", 0},
                 {1, "Enabled motor", 1},
                 {2, "Enabled motor", 1},
                 {3, nullptr, -1},
                 {255, nullptr, -1}};
    for (const auto& c : cases) {
        ConsoleState console;
        console.MotorEnabled = 7;  // a value no rule writes
        const char* text = MotorStateText(c.state);
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr) << int(c.state);
        } else {
            EXPECT_STREQ(text, c.text);
        }
        EXPECT_EQ(TakeMotorState(console, c.state), c.enabled >= 0);
        EXPECT_EQ(int(console.MotorEnabled), c.enabled >= 0 ? c.enabled : 7) << int(c.state);
    }
}

TEST(FaultWord, DecodedWhenItChangesAndRotated) {
    ConsoleState console;
    // The first status read always decodes, also a zero word.
    FaultWordOutcome o = TakeFaultWord(console, 0);
    EXPECT_TRUE(o.Changed);
    EXPECT_TRUE(o.ShowNoError);
    EXPECT_FALSE(o.StartRotation);
    EXPECT_EQ(console.ShownFaultWord, 0);
    EXPECT_EQ(NextFaultText(console), nullptr);

    o = TakeFaultWord(console, 0x0005);
    EXPECT_TRUE(o.Changed && o.StartRotation && !o.ShowNoError);
    EXPECT_EQ(console.FaultTextCount, 2);
    std::vector<std::string> shown;
    for (int i = 0; i < 5; ++i) shown.push_back(*NextFaultText(console));
    EXPECT_EQ(shown,
              (std::vector<std::string>{kFaultBitTexts[0], kFaultBitTexts[2], kFaultBitTexts[0],
                                        kFaultBitTexts[2], kFaultBitTexts[0]}));

    // The same word again: nothing to do, the rotation goes on where it was.
    o = TakeFaultWord(console, 0x0005);
    EXPECT_FALSE(o.Changed || o.ShowNoError || o.StartRotation);
    EXPECT_EQ(*NextFaultText(console), kFaultBitTexts[2]);

    // Only bits without text: a change, no texts, no rotation, no "no error".
    o = TakeFaultWord(console, 0xC000);
    EXPECT_TRUE(o.Changed);
    EXPECT_FALSE(o.ShowNoError || o.StartRotation);
    EXPECT_TRUE(console.FaultTexts.empty());
    EXPECT_EQ(console.FaultWord, 0xC000);

    o = TakeFaultWord(console, 0x3FFF);
    EXPECT_EQ(console.FaultTexts.size(), size_t{14});
    EXPECT_EQ(console.FaultTextIndex, 0);
}

TEST(LiveValues, PrintfFormsOfTheStatusFields) {
    DriveState state;
    state.MotorTemperature = 31;
    state.LiveSpeed = -1500;
    state.LivePosition = 65535;
    state.PhaseCurrent = 1e-7f;
    state.BusVoltage = 48.5f;
    const LiveStatusTexts t = LiveStatusTextsOf(state);
    EXPECT_EQ(t.MotorTemperature, "31");
    EXPECT_EQ(t.CurrentSpeed, "-1500");
    EXPECT_EQ(t.MotorPosition, "65535");
    EXPECT_EQ(t.PhaseCurrent, "1e-07");
    EXPECT_EQ(t.BusVoltage, "48.5");
}

TEST(OutputAxis, FiguresIncludingZeroDivisors) {
    const struct {
        const char* ratio;
        const char* encoder;
        int32_t position;
        const char* axisPosition;
        const char* axisAngle;
    } cases[] = {
        {"1", "65535.0", 65535, "65535", "360.00000"},
        {"2", "65535.0", 65535, "32767", "179.99725"},
        {"3", "4096", -1000, "-333", "-29.26758"},
        {"2.5x", "1000", 1001, "400", "144.00000"},
        {"0", "65535.0", 1000, "0", "0.00000"},  // no quotient: 0
        {"abc", "65535.0", 1000, "0", "0.00000"},
        {"1", "", 1000, "1000", "0.00000"},
        {"1", "65535", 2147483647, "2147483647", "11796660.00000"},
        {"1e-30", "1", 5, "2147483647", "773094113280.00000"},  // saturates
    };
    for (const auto& c : cases) {
        ConsoleState console;
        console.RatioInput = EntryValue(c.ratio);
        console.EncoderInput = EntryValue(c.encoder);
        TakeOutputAxis(console, c.position);
        EXPECT_EQ(OutputAxisPositionText(console), c.axisPosition) << c.ratio;
        EXPECT_EQ(OutputAxisAngleText(console), c.axisAngle) << c.ratio;
    }
}

TEST(CanSettings, Shown) {
    EXPECT_EQ(CanAddressText(0), "140");
    EXPECT_EQ(CanAddressText(1), "141");
    EXPECT_EQ(CanAddressText(255), "395");
    EXPECT_EQ(CanBaudItem(4), 0);
    EXPECT_EQ(CanBaudItem(5), 1);
    EXPECT_EQ(CanBaudItem(3), std::nullopt);
    EXPECT_EQ(CanBaudItem(0), std::nullopt);

    // The encodings the Setting button writes are tested with the motion rules.
}

// The texts a port list shows.
std::vector<std::string> Texts(const std::vector<PortItem>& items) {
    std::vector<std::string> texts;
    for (const PortItem& item : items) texts.push_back(item.Text);
    return texts;
}

const FoundPort kFtdi{"/dev/ttyUSB0", "FTDI FT232R USB UART, serial A10KQ3X2",
                      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0"};
const FoundPort kUart{"/dev/ttyS0", "", ""};
const FoundPort kAcm{"/dev/ttyACM1", "STM32 Virtual ComPort", ""};

TEST(PortChoice, ItemsAndTheOpenFailureText) {
    EXPECT_EQ(Texts(PortListItems({}, false)), std::vector<std::string>{"null"});
    EXPECT_EQ(Texts(PortListItems({}, true)),
              (std::vector<std::string>{"null", "Simulated drive"}));
    EXPECT_EQ(Texts(PortListItems({{"/dev/ttyUSB0", "", ""}, {"/dev/ttyACM1", "", ""}}, true)),
              (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyACM1", "Simulated drive"}));
    EXPECT_EQ(PortListItems({kUart, kFtdi, kAcm}, true),
              (std::vector<PortItem>{
                  {"/dev/ttyS0", "/dev/ttyS0", ""},
                  {"/dev/ttyUSB0 — FTDI FT232R USB UART, serial A10KQ3X2", "/dev/ttyUSB0",
                   kFtdi.StableName},
                  {"/dev/ttyACM1 — STM32 Virtual ComPort", "/dev/ttyACM1", ""},
                  {"Simulated drive", "Simulated drive", ""},
              }));
    EXPECT_EQ(OpenFailText(""), "Open fail！");
    EXPECT_EQ(OpenFailText("/dev/ttyUSB0: Permission denied"),
              "Open fail！\n/dev/ttyUSB0: Permission denied");
    const struct {
        int index;
        uint32_t baud;
    } bauds[] = {{0, 9600},   {1, 14400},  {2, 19600},   {3, 38400},    {4, 57600},
                 {5, 115200}, {6, 115200}, {-1, 115200}, {1000, 115200}};
    for (const auto& b : bauds) EXPECT_EQ(BaudForIndex(b.index), b.baud) << b.index;
}

// What Open gets for the text of the port list's entry: never the description.
TEST(PortChoice, TheChosenItemOpensItsPortAndATypedTextItself) {
    const std::vector<PortItem> items = PortListItems({kUart, kFtdi, kAcm}, true);
    const struct {
        std::string text;
        std::string port;
    } cases[] = {
        {"/dev/ttyUSB0 — FTDI FT232R USB UART, serial A10KQ3X2", "/dev/ttyUSB0"},
        {"  /dev/ttyACM1 — STM32 Virtual ComPort ", "/dev/ttyACM1"},
        {"/dev/ttyS0", "/dev/ttyS0"},
        {"Simulated drive", "Simulated drive"},
        {kFtdi.StableName, kFtdi.StableName},  // typed: opened as typed
        {" /tmp/drive\n", "/tmp/drive"},
        {"/dev/ttyUSB0 — FTDI", "/dev/ttyUSB0 — FTDI"},  // not an item: the system will refuse it
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ChosenPort(c.text, items), c.port) << c.text;
    EXPECT_EQ(ChosenPort("null", PortListItems({}, false)), "null");
}

TEST(PortChoice, PortsLinesLeadWithThePathAndSeparateByTabs) {
    const struct {
        FoundPort port;
        const char* line;
    } cases[] = {
        {kUart, "/dev/ttyS0"},
        {kFtdi,
         "/dev/ttyUSB0\tFTDI FT232R USB UART, serial A10KQ3X2\t"
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KQ3X2-if00-port0"},
        {kAcm, "/dev/ttyACM1\tSTM32 Virtual ComPort"},
        {{"/dev/ttyUSB1", "", "/dev/serial/by-id/usb-x"},
         "/dev/ttyUSB1\t\t/dev/serial/by-id/usb-x"},
        {{"COM3", "USB Serial Port", ""}, "COM3\tUSB Serial Port"},
    };
    for (const auto& c : cases) EXPECT_EQ(PortLine(c.port), c.line) << c.line;
}

TEST(WaveParameter, NamesAndSamples) {
    EXPECT_EQ(WaveParameterIndex("BLANK"), 0);
    EXPECT_EQ(WaveParameterIndex("Supply Voltage"), 1);
    EXPECT_EQ(WaveParameterIndex("Output Axis Angel"), 6);  // the list's own spelling
    EXPECT_EQ(WaveParameterIndex("supply voltage"), std::nullopt);
    EXPECT_EQ(WaveParameterIndex("Output Axis Angle"), std::nullopt);

    DriveState state;
    state.BusVoltage = 48.5f;
    state.PhaseCurrent = 1.25f;
    state.LiveSpeed = -1500;
    state.LivePosition = 65535;
    ConsoleState console;
    console.OutputAxisPosition = 32767;
    console.OutputAxisAngle = 179.99725f;
    const std::optional<double> expected[] = {
        std::nullopt, 48.5, 1.25, -1500.0, 65535.0, 32767.0, double(179.99725f)};
    for (uint8_t p = 0; p < 7; ++p) EXPECT_EQ(WaveSample(p, state, console), expected[p]) << int(p);
    EXPECT_EQ(WaveSample(7, state, console), std::nullopt);
}

}  // namespace
}  // namespace torvane
