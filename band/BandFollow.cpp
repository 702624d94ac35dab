#include "band/BandFollow.h"

#include "band/BandFollower.h"
#include "band/BandMemory.h"
#include "rig/HamlibSource.h"
#include "rig/LoggerListener.h"

#include <QTimer>

BandFollow::BandFollow(const BandFollowSettings &settings, SwitchSeam *seam, QObject *parent)
    : QObject(parent)
{
    const QString memoryPath = settings.memoryPath.isEmpty() ? BandMemory::defaultPath() : settings.memoryPath;
    bandFollower = new BandFollower(seam, memoryPath, this);
    connect(bandFollower, &BandFollower::statusText, this, &BandFollow::statusText);
    connect(bandFollower, &BandFollower::bandChanged, this, &BandFollow::bandChanged);

    if (!settings.loggers.isEmpty()) {
        loggers = new LoggerListener(this);
        problems = loggers->listen(settings.loggers);
        connect(loggers, &LoggerListener::reading, bandFollower, &BandFollower::takeReading);
        if (!problems.isEmpty()) {
            // Once the event loop runs, so whoever shows the text is listening.
            const QString first = problems.first();
            QTimer::singleShot(0, this, [this, first] { emit statusText(first); });
        }
    }
    if (settings.rig) {
        hamlib = new HamlibSource(*settings.rig, this);
        connect(hamlib, &HamlibSource::reading, bandFollower, &BandFollower::takeReading);
        connect(hamlib, &HamlibSource::statusText, this, &BandFollow::statusText);
    }
}

BandFollow::~BandFollow()
{
    // The worker thread first, so no reading arrives while the rest goes.
    delete hamlib;
    hamlib = nullptr;
}
