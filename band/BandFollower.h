#pragma once

#include "band/BandMemory.h"
#include "band/FollowRules.h"
#include "rig/RigReading.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SwitchSeam;

// Puts the follow rules to work on the GUI thread: readings from the sources
// and the switch's state from the seam go in; select words go back through
// the seam, choices to the memory file, and a line for the status bar out.
class BandFollower : public QObject
{
    Q_OBJECT

public:
    BandFollower(SwitchSeam *seam, const QString &memoryPath, QObject *parent = nullptr);

    // The band the radio is on ("20m"), empty until one is known.
    QString band() const;

public slots:
    void takeReading(const RigReading &reading);

signals:
    void statusText(const QString &text);
    void bandChanged(const QString &bandKey);

private:
    void switchStateChanged(const SwitchSnapshot &snapshot);
    void apply(const FollowRules::Actions &actions);
    qint64 nowMs() const { return clock.elapsed(); }

    SwitchSeam *seam;
    BandMemory memory;
    FollowRules rules;
    QElapsedTimer clock;
    QTimer settleTimer;
    bool saveFailureShown = false;
};
