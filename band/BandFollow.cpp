#include "band/BandFollow.h"

#include "band/BandFollower.h"
#include "band/BandMemory.h"
#include "rig/HamlibSource.h"
#include "rig/LoggerListener.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

BandFollow::BandFollow(const BandFollowSettings &settings, SwitchSeam *seam, QObject *parent)
    : QObject(parent)
{
    const QString memoryPath = settings.memoryPath.isEmpty() ? BandMemory::defaultPath() : settings.memoryPath;
    bandFollower = new BandFollower(seam, memoryPath, settings.hangMs, this);
    connect(bandFollower, &BandFollower::statusText, this, &BandFollow::statusText);
    connect(bandFollower, &BandFollower::bandChanged, this, &BandFollow::bandChanged);
    bandFollower->setFreshen([this] { return freshen(); });

    if (!settings.loggers.isEmpty()) {
        loggers = new LoggerListener(this);
        loggers->setSenderFilter(settings.loggerSenders);
        loggers->setRadio(settings.loggerRadio);
        problems = loggers->listen(settings.loggers);
        connect(loggers, &LoggerListener::reading, bandFollower, &BandFollower::takeReading);
        // A select that waited for these packets may go now.
        connect(loggers, &LoggerListener::packetsRead, bandFollower, &BandFollower::reconsider);
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
    // The follower next: it learns a last choice and takes its select back.
    delete bandFollower;
    bandFollower = nullptr;
}

bool BandFollow::freshen()
{
    // Readings the rig's thread has already sent wait as queued calls.
    if (hamlib)
        QCoreApplication::sendPostedEvents(hamlib, QEvent::MetaCall);
    return !loggers || !loggers->hasUnread();
}
