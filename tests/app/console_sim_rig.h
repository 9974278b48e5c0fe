// ConsoleSimRig: the real console over the real SerialPort against the simulated drive on a
// pseudo-terminal (unpaced; its timed behaviours run on the tests' time scale), opened through
// the Open button with its handshake. Test thread (the UI thread) only.
#pragma once

#include <QAbstractButton>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/info_box.h"
#include "app/torvane_dlg.h"
#include "sim/simulated_drive.h"

class ConsoleSimRig {
public:
    explicit ConsoleSimRig(torvane::sim::SimOptions options = {});
    ~ConsoleSimRig();

    // Opens the drive's port with the Open button (the handshake runs) and marks the request
    // log. False when the port did not open or the handshake failed.
    bool Open();

    // The requests the drive received since the last Mark(), one line each ("read 2200 7",
    // "write 6000 02 01", "write 5001" for a bare command). The status poll's "read 1200 6"
    // is left out unless `withPolls`.
    QStringList Frames(bool withPolls = false) const;
    void Mark();

    template <class T>
    T* Find(const char* name) const {
        return dlg->findChild<T*>(name);
    }
    QString Text(const char* name) const { return Find<QLineEdit>(name)->text(); }
    void SetText(const char* name, const QString& text) { Find<QLineEdit>(name)->setText(text); }
    // Clicks a button, hidden ones included (as their command would run).
    void Click(const char* name) { Find<QAbstractButton>(name)->click(); }
    // Picks a work mode as the user does (the combo's activated signal).
    void PickWorkMode(int index);
    bool Active(CTorvaneDlg::TimerId id) const { return dlg->TimerActive(id); }

    // Enables the motor in `mode` with the WorkMode combo and the Enabled button; an Info box
    // that opens is closed once initialisation is complete. False when the motor did not end
    // enabled. The request log is marked afterwards.
    bool EnableIn(int mode);

    torvane::sim::SimulatedDrive sim;
    torvane::DriveSession session;
    std::unique_ptr<CTorvaneDlg> dlg;

private:
    size_t mark_ = 0;
};

// Waits (processing events) until `condition` holds; false after `ms` without it. Generous
// deadlines: the machine running the tests may be loaded.
bool WaitFor(const std::function<bool()>& condition, int ms = 20000);

// Acts on the Info box once it opens: records its text at the moment it was shown into
// `opened` (when given), then, checked every few milliseconds, closes it with its close box as
// soon as `closeWhen` holds (at once when empty). `onOpen` runs first (when given).
void WhenInfoBoxOpens(std::function<bool(CDlgCommCan*)> closeWhen, QString* opened = nullptr,
                      std::function<void(CDlgCommCan*)> onOpen = {});
