#include "app/torvane_app.h"

#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "ui/app_icon.h"
#include "app/torvane_dlg.h"
#include "protocol/drive_state.h"
#include "serial/serial_port.h"
#include "torvane_version.h"

namespace {

// What --version prints.
QString VersionText() {
    return QString("torvane %1").arg(torvane::kVersion);
}

// Several titles and texts are Chinese: make sure a CJK face backs the default one.
void UseCjkFallback() {
    const QStringList families = QFontDatabase::families();
    for (const char* cjk : {"Noto Sans CJK SC", "Noto Sans SC", "WenQuanYi Micro Hei",
                            "Noto Serif CJK SC", "Droid Sans Fallback"}) {
        if (families.contains(cjk)) {
            QFont font = QApplication::font();
            QStringList chain = font.families();
            if (chain.isEmpty()) chain << font.family();
            chain << cjk;
            font.setFamilies(chain);
            QApplication::setFont(font);
            return;
        }
    }
}

}  // namespace

CTorvaneApp::CTorvaneApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("Torvane");
    setApplicationVersion("1.0");
    // The settings storage name the program has always carried; nothing is stored there.
    setOrganizationName(QString::fromUtf8("应用程序向导生成的本地应用程序"));
}

bool CTorvaneApp::HasDisplay() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

const char* CTorvaneApp::NoDisplayMessage() {
    return "torvane needs a display; run it under xvfb-run: xvfb-run -a torvane ...";
}

bool CTorvaneApp::ParseOptions(const QStringList& arguments, Options& options, QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Torvane servo drive console");
    parser.addHelpOption();
    const QCommandLineOption version("version", "Show the version.");
    parser.addOption(version);
    const QCommandLineOption port("port", "Preselect the serial port PATH.", "PATH");
    const QCommandLineOption connect("connect", "Open the --port at start.");
    const QCommandLineOption simulate("simulate", "Start connected to a simulated drive.");
    parser.addOptions({port, connect, simulate});
    if (!parser.parse(arguments)) {
        if (error != nullptr) *error = parser.errorText();
        return false;
    }
    if (parser.isSet("help")) {
        if (error != nullptr) *error = parser.helpText();
        return false;
    }
    if (parser.isSet(version)) {
        if (error != nullptr) *error = VersionText();
        return false;
    }
    options.Port = parser.value(port);
    options.Connect = parser.isSet(connect);
    options.Simulate = parser.isSet(simulate);
    return true;
}

int CTorvaneApp::Run() {
    Options options;
    QString error;
    if (!ParseOptions(arguments(), options, &error)) {
        if (error == VersionText()) {
            std::printf("%s\n", error.toLocal8Bit().constData());
            return 0;
        }
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return error.startsWith("Usage") ? 0 : 2;
    }
    UseCjkFallback();
    setWindowIcon(TorvaneIcon());

    torvane::SerialPort port;
    torvane::DriveState state;
    CTorvaneDlg console(port, state);

    ApplyOptions(options, console);
    console.exec();
    return 0;
}

void CTorvaneApp::ApplyOptions(const Options& options, CTorvaneDlg& console) {
    if (options.Simulate) {
        console.PreselectPort(CTorvaneDlg::kSimulatedDriveItem);
    } else if (!options.Port.isEmpty()) {
        console.PreselectPort(options.Port);
    }
    if (options.Simulate || (options.Connect && !options.Port.isEmpty())) {
        // Opened once the window is up, so its messages have a window to sit on.
        QTimer::singleShot(0, &console, [&console] { console.OpenOrClose(); });
    }
}
