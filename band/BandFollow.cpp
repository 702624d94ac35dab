#include "band/BandFollow.h"

#include "band/BandFollower.h"
#include "band/FollowStatus.h"
#include "band/BandMemory.h"
#include "rig/HamlibSource.h"
#include "rig/LoggerListener.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

BandFollow::BandFollow(const BandFollowSettings &settings, const QString &memoryPath, SwitchSeam *seam,
                       QObject *parent, int rigRetryMs)
    : QObject(parent)
{
    bandFollower = new BandFollower(seam, memoryPath.isEmpty() ? BandMemory::defaultPath() : memoryPath,
                                    settings.hangMs, this);
    connect(bandFollower, &BandFollower::statusText, this, &BandFollow::statusText);
    connect(bandFollower, &BandFollower::problem, this, &BandFollow::problem);
    connect(bandFollower, &BandFollower::bandChanged, this, &BandFollow::bandChanged);
    bandFollower->setFreshen([this] { return freshen(); });

    const LoggerSources logger = LoggerSources::of(settings, &problems);
    if (!logger.ports.isEmpty()) {
        loggers = new LoggerListener(this);
        loggers->setSenderFilter(logger.senders);
        loggers->setRadio(settings.loggerRadio);
        problems << loggers->listen(logger.ports);
        connect(loggers, &LoggerListener::reading, bandFollower, &BandFollower::takeReading);
        connect(loggers, &LoggerListener::flooded, bandFollower, &BandFollower::loggerFlooded);
        connect(loggers, &LoggerListener::senderRefused, this, [this](const QString &sender) {
            emit problem(tr("Logger packets from %1 are not taken").arg(sender),
                         tr("Logger packets from %1 are not taken: it is not an allowed sender (--logger-from, or "
                            "the allowed senders in Band Follow Settings)").arg(sender));
        });
        // A select that waited for these packets may go now.
        connect(loggers, &LoggerListener::packetsRead, bandFollower, &BandFollower::reconsider);
        connect(loggers, &LoggerListener::packetsRead, this, [this] {
            sinceLastPacket.start();
            emit changed();
        });
    }
    // Once the event loop runs, so whoever shows them is listening; in a few
    // words, what comes before the reason.
    QTimer::singleShot(0, this, [this] {
        for (const QString &whole : qAsConst(problems))
            emit problem(whole.section(QStringLiteral(": "), 0, 0).section(QStringLiteral(" ("), 0, 0), whole);
    });
    if (std::optional<HamlibSettings> rig = settings.rig.hamlib()) {
        rig->retryMs = rigRetryMs;
        rigIsRigctld = rig->model == HamlibSettings::rigctldModel;
        hamlib = new HamlibSource(*rig, this);
        connect(hamlib, &HamlibSource::reading, bandFollower, &BandFollower::takeReading);
        connect(hamlib, &HamlibSource::statusText, this, &BandFollow::statusText);
        connect(hamlib, &HamlibSource::answering, this, [this](bool answers) {
            rigAnswering = answers;
            emit changed();
        });
    }
    connect(bandFollower, &BandFollower::changed, this, &BandFollow::changed);
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

int BandFollow::band() const
{
    return bandFollower->followRules().band();
}

FollowRules::Hold BandFollow::hold() const
{
    return bandFollower->hold();
}

BandAntennas BandFollow::memory() const
{
    return bandFollower->followRules().memory();
}

bool BandFollow::setRemembered(int band, int position)
{
    return bandFollower->setRemembered(band, position);
}

QString BandFollow::label() const
{
    return FollowStatus::label(true, band(), hold());
}

QString BandFollow::liveLine() const
{
    FollowStatus::Sources sources;
    if (hamlib) {
        sources.rigIsRigctld = rigIsRigctld;
        sources.rig = !rigAnswering ? FollowStatus::Sources::Rig::Connecting
                      : *rigAnswering ? FollowStatus::Sources::Rig::Answering
                                      : FollowStatus::Sources::Rig::NotAnswering;
    }
    if (loggers) {
        sources.listening = true;
        sources.loggerPortsTaken = loggers->unbound();
        if (sinceLastPacket.isValid())
            sources.sinceLastPacketMs = sinceLastPacket.elapsed();
    }
    return FollowStatus::liveLine(true, band(), hold(), sources);
}
