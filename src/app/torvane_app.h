// CTorvaneApp: the application. Holds the process-wide SerialPort and DriveState, builds the
// main console, applies the command line and runs the console modally until it is closed.
//
// Command line:
//   --port PATH      preselect PATH in the port list (a device path or "Simulated drive")
//   --connect        with --port: open that port at start, as the Open button does
//   --simulate       start connected to an in-process simulated drive
//   --version        print "torvane <version>" and exit
#pragma once

#include <QApplication>
#include <QString>

class CTorvaneDlg;

class CTorvaneApp : public QApplication {
    Q_OBJECT

public:
    struct Options {
        QString Port;
        bool Connect = false;
        bool Simulate = false;
    };

    CTorvaneApp(int& argc, char** argv);

    // Parses the command line; false (with `error` set) for an unknown option.
    static bool ParseOptions(const QStringList& arguments, Options& options, QString* error);

    // Preselects the port of `options` in the console and, for --connect or --simulate, opens
    // it as the Open button does once the event loop runs.
    static void ApplyOptions(const Options& options, CTorvaneDlg& console);

    // The start-up routine: returns the process exit code.
    int Run();

    // True when a window system is reachable (or a platform is chosen explicitly), checked
    // before the application object exists.
    static bool HasDisplay();
    static const char* NoDisplayMessage();
};
