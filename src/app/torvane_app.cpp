#include "app/torvane_app.h"

#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/sim_drive_starter.h"
#include "app/torvane_dlg.h"
#include "session/drive_session.h"
#include "session/port_choice.h"
#include "session/wave_parameter.h"
#include "sim/plant_presets.h"
#include "torvane_version.h"
#include "ui/app_icon.h"
#include "ui/c_numbers.h"

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
    // QApplication has just set the C library's locale from the environment.
    UseCNumbers();
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
    const QCommandLineOption autoUpdate(
        "auto-update", "Tick Auto Update once the start-up connection's handshake succeeded.");
    QStringList names;
    for (const char* name : torvane::kWaveParameterNames) names << QString("\"%1\"").arg(name);
    const QCommandLineOption plot(
        "plot", "Plot NAME in the live chart, one of " + names.join(", ") + ".", "NAME");
    const QString plants = QString::fromStdString(torvane::sim::PlantNames());
    const QCommandLineOption plant(
        "plant", "The machine behind the simulated drive's loops: " + plants + " (default small).",
        "NAME");
    parser.addOptions({port, connect, simulate, autoUpdate, plot, plant});
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
    options.AutoUpdate = parser.isSet(autoUpdate);
    if (parser.isSet(plot)) {
        const std::optional<uint8_t> index =
            torvane::WaveParameterIndex(parser.value(plot).toStdString());
        if (!index) {
            if (error != nullptr) {
                *error = QString("Unknown --plot name \"%1\"; the names are %2.")
                             .arg(parser.value(plot), names.join(", "));
            }
            return false;
        }
        options.Plot = *index;
    }
    if (parser.isSet(plant)) {
        const QString name = parser.value(plant);
        if (torvane::sim::FindPlant(name.toStdString()) == nullptr) {
            if (error != nullptr) {
                *error = QString("Unknown --plant name \"%1\"; the plants are %2.").arg(name, plants);
            }
            return false;
        }
        options.Plant = name;
    }
    return true;
}

int CTorvaneApp::Run() {
    Options options;
    QString error;
    if (!ParseOptions(arguments(), options, &error)) {
        // The version and the help are what was asked for: standard output, success.
        if (error == VersionText() || error.startsWith("Usage")) {
            std::printf("%s\n", error.toLocal8Bit().constData());
            return 0;
        }
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    }
    UseCjkFallback();
    setWindowIcon(TorvaneIcon());

    // The starter outlives the session, which stops its drive when it ends.
    torvane::sim::SimOptions simulated;
    simulated.Plant = options.Plant.toStdString();
    SimDriveStarter starter(simulated);
    torvane::DriveSession session;
    session.SetSimulatedDriveStarter(&starter);
    CTorvaneDlg console(session);

    ApplyOptions(options, console);
    console.exec();
    return 0;
}

void CTorvaneApp::ApplyOptions(const Options& options, CTorvaneDlg& console) {
    if (options.Simulate) {
        console.PreselectPort(torvane::kSimulatedDriveItem);
    } else if (!options.Port.isEmpty()) {
        console.PreselectPort(options.Port);
    }
    if (options.Plot >= 0) console.SelectWaveParameter(options.Plot);
    if (options.Simulate || (options.Connect && !options.Port.isEmpty())) {
        // Opened once the window is up, so its messages have a window to sit on.
        const bool autoUpdate = options.AutoUpdate;
        QTimer::singleShot(0, &console, [&console, autoUpdate] {
            if (console.OpenPort() && autoUpdate) console.SetAutoUpdate(true);
        });
    }
}
