// CTorvaneApp: the application. Holds the DriveSession (with the process-wide SerialPort and
// DriveState) and the simulated drive's starter, builds the main console, applies the command
// line and runs the console modally until it is closed.
//
// Command line:
//   --port PATH      preselect PATH in the port list (a device path or "Simulated drive")
//   --connect        with --port: open that port at start, as the Open button does
//   --simulate       start connected to an in-process simulated drive
//   --plant NAME     the machine behind the simulated drive's loops (small, inertia, belt)
//   --auto-update    tick Auto Update once the start-up connection's handshake has succeeded
//   --plot NAME      select NAME in the Parameter list ("Supply Voltage", ...)
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
        bool AutoUpdate = false;
        int Plot = -1;  // Parameter list index; -1 leaves the list as it starts
        QString Plant = "small";  // of the simulated drive
    };

    // Numbers follow the C conventions from here on, whatever the locale (UseCNumbers).
    CTorvaneApp(int& argc, char** argv);

    // Parses the command line; false (with `error` set) for an unknown option or an unknown
    // --plot or --plant name (the error lists the names), and for --help (`error` holds the
    // help text).
    static bool ParseOptions(const QStringList& arguments, Options& options, QString* error);

    // Preselects the port of `options` in the console and selects the plotted quantity; for
    // --connect or --simulate it opens the port as the Open button does once the event loop
    // runs, and then, with --auto-update, ticks Auto Update when the handshake succeeded.
    static void ApplyOptions(const Options& options, CTorvaneDlg& console);

    // The start-up routine: returns the process exit code.
    int Run();

    // True when a window system is reachable (or a platform is chosen explicitly), checked
    // before the application object exists.
    static bool HasDisplay();
    static const char* NoDisplayMessage();
};
