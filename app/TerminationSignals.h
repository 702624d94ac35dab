#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (a service manager stopping the station), SIGINT (Ctrl-C) and
// SIGHUP (the terminal gone) end the event loop, so the program winds down
// exactly as when its window is closed. A signal ignored when the program
// started (nohup) stays ignored. Elsewhere than on Unix it does nothing.
//
// install() takes the signals over before anything else runs, so one that
// comes while the program is still starting is kept, and ends the event
// loop as soon as it runs. Make one object after the application object
// and before any thread starts; it installs the handlers if that was not
// done yet.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    static void install();

    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    QSocketNotifier *notifier = nullptr;
};
