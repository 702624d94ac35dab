#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (a service manager stopping the station), SIGINT (Ctrl-C) and
// SIGHUP (the terminal gone) end the event loop, so the program winds down
// exactly as when its window is closed. A signal ignored when the program
// started (nohup) stays ignored. Elsewhere than on Unix it does nothing.
// Make one, after the application object and before any thread starts.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    QSocketNotifier *notifier = nullptr;
};
