#include "band/AntennaGuard.h"

#include "band/BandFollower.h"

#include "link/MonotonicClock.h"

#include <QDir>
#include <QFileInfo>

AntennaGuard::AntennaGuard(SwitchSeam *seam, const QString &path, QObject *parent)
    : QObject(parent)
    , seam(seam)
    , file(path)
{
    // Rewritten in place, or renamed over (as editors and the dialog save).
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, &AntennaGuard::reload);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, &AntennaGuard::refreshFromFile);
    connect(seam, &SwitchSeam::stateChanged, this, &AntennaGuard::lookAtTransmitting);
}

void AntennaGuard::start()
{
    reload();
}

AntennaGuard::~AntennaGuard()
{
    follow(nullptr);
    seam->setWordCheck({});
    seam->setKeyAdvice({});
}

void AntennaGuard::watchFile()
{
    const QFileInfo info(file.path());
    if (info.exists() && !watcher.files().contains(info.filePath()))
        watcher.addPath(info.filePath());
    if (info.dir().exists() && !watcher.directories().contains(info.dir().path()))
        watcher.addPath(info.dir().path());
}

AntennaGuard::Stamp AntennaGuard::stampNow() const
{
    const QFileInfo info(file.path());
    return info.exists() ? Stamp{true, info.size(), info.lastModified()} : Stamp();
}

void AntennaGuard::refreshFromFile()
{
    if (!(stampNow() == readStamp))
        reload();
}

void AntennaGuard::reload()
{
    watchFile();
    readStamp = stampNow();
    const AntennaFile::Contents contents = file.load();
    if (contents.problems != problemsSaid) {
        problemsSaid = contents.problems;
        if (!contents.readable) {
            emit problem(tr("Cannot read the antenna rules; the rules read before still hold"),
                         tr("%1 The antenna rules read before still hold.").arg(contents.problems.join(QLatin1Char(' '))));
        } else if (!contents.problems.isEmpty()) {
            emit problem(tr("Some lines of %1 are ignored; see the tooltip").arg(QFileInfo(file.path()).fileName()),
                         tr("Some lines of %1 are ignored: %2.")
                             .arg(file.path(), contents.problems.join(QStringLiteral("; "))));
        }
    }
    // A file that cannot be read (half written, perhaps) takes nothing away.
    if (contents.readable)
        use(contents.rules);
}

bool AntennaGuard::save(const AntennaRules &edited, const AntennaRules &editedFrom, QString *error)
{
    // The file may have been edited by hand while the dialog was open.
    refreshFromFile();
    const AntennaRules rules = AntennaRules::merged(edited, editedFrom, current);
    const bool saved = file.save(rules, error);
    if (saved)
        reload();
    else
        use(rules);
    return saved;
}

void AntennaGuard::use(const AntennaRules &rules)
{
    if (rules == current)
        return;
    current = rules;
    if (current.configured())
        seam->setWordCheck([this](CommandWord word) { return check(word); });
    else
        seam->setWordCheck({});
    advise();
    // A select band follow has waiting may no longer be allowed; it looks
    // again once whatever asked (perhaps its own guard) is done.
    if (follower)
        QMetaObject::invokeMethod(follower, &BandFollower::reconsider, Qt::QueuedConnection);
    lookAtTransmitting();
    emit changed();
}

void AntennaGuard::follow(BandFollower *newFollower)
{
    if (follower) {
        disconnect(follower, nullptr, this, nullptr);
        follower->setAntennaRules({}, {});
    }
    follower = newFollower;
    if (follower) {
        follower->setAntennaRules([this](int band, int position, int splitTx) {
            return current.setupAllowed(band, position, splitTx);
        }, [this] { refreshFromFile(); });
        connect(follower, &BandFollower::bandChanged, this, &AntennaGuard::bandChanged);
        connect(follower, &BandFollower::notForBand, this, &AntennaGuard::notForBand);
        connect(follower, &BandFollower::changed, this, &AntennaGuard::lookAtTransmitting);
        QMetaObject::invokeMethod(follower, &BandFollower::reconsider, Qt::QueuedConnection);
    }
    advise();
}

int AntennaGuard::band() const
{
    return follower ? follower->followRules().band() : BandPlan::noBand;
}

int AntennaGuard::bandNow() const
{
    if (!follower)
        return BandPlan::noBand;
    // Band follow counts a band once it has stood a moment; the radio is on
    // it from its first reading, and a select made meanwhile is for it.
    const int reading = follower->followRules().readingBandAt(MonotonicClock::nowMs());
    return reading != BandPlan::noBand ? reading : band();
}

bool AntennaGuard::transmitting() const
{
    const SwitchSnapshot &s = seam->snapshot();
    return s.send || s.reported.send || (follower && follower->followRules().sourcesTransmitting());
}

SwitchSeam::WordVerdict AntennaGuard::check(CommandWord word)
{
    // A hand edit may not have been read yet: the rules of the file as it
    // is now count.
    refreshFromFile();
    const AntennaRules::Verdict verdict = current.judge(word, seam->snapshot(), bandNow(), transmitting());
    return SwitchSeam::WordVerdict{verdict.answer != AntennaRules::Answer::Refuse, verdict.text};
}

void AntennaGuard::advise()
{
    SwitchSeam::KeyAdvice advice;
    if (current.configured()) {
        advice.given = true;
        const int now = band();
        for (int p = 0; p < positionCount; ++p) {
            advice.notes[static_cast<size_t>(p)] = current.keyNote(p, now);
            if (!current.allowedOn(p, now)) {
                advice.dimmedMask |= static_cast<quint8>(1u << p);
                advice.allowedMask &= static_cast<quint8>(~(1u << p));
            }
        }
    }
    seam->setKeyAdvice(advice);
}

void AntennaGuard::bandChanged()
{
    advise();
    const int now = band();
    const SwitchSnapshot &s = seam->snapshot();
    const SwitchReport &r = s.reported;
    // Band follow has something to select for the band: it is on its way.
    if (!current.configured() || now == BandPlan::noBand || !follower || follower->followRules().pendingSelect() >= 0
        || !s.linkOpen || !s.power || !r.hasPosition())
        return;
    int offBand = -1;
    if (!current.allowedOn(r.position, now))
        offBand = r.position;
    else if (r.split && !current.allowedOn(r.splitPosition, now))
        offBand = r.splitPosition;
    if (offBand >= 0) {
        emit warning(tr("%1 in use is not for %2")
                         .arg(AntennaRules::antennaName(offBand, s.captions[static_cast<size_t>(offBand)]),
                              BandPlan::name(now)));
    }
    lookAtTransmitting();
}

void AntennaGuard::notForBand(int band, int position, int splitTx)
{
    const SwitchSnapshot &s = seam->snapshot();
    const auto name = [&s](int p) {
        return AntennaRules::antennaName(p, isPosition(p) ? s.captions[static_cast<size_t>(p)] : QString());
    };
    QString text;
    if (!current.allowedOn(position, band))
        text = tr("%1 is not for %2; band follow does not select it").arg(name(position), BandPlan::name(band));
    else if (isPosition(splitTx) && !current.allowedOn(splitTx, band))
        text = tr("%1 is not for %2; band follow does not select it").arg(name(splitTx), BandPlan::name(band));
    else
        text = tr("%1 is receive only; band follow does not select it")
                   .arg(name(isPosition(splitTx) ? splitTx : position));
    emit warning(text);
}

void AntennaGuard::lookAtTransmitting()
{
    QString text;
    const SwitchSnapshot &s = seam->snapshot();
    const SwitchReport &r = s.reported;
    if (current.configured() && transmitting() && s.linkOpen && s.power && r.hasPosition()) {
        const int tx = r.split && isPosition(r.splitPosition) ? r.splitPosition : r.position;
        const QString name = AntennaRules::antennaName(tx, s.captions[static_cast<size_t>(tx)]);
        if (current.receiveOnly(tx))
            text = tr("Transmitting on %1, which is receive only").arg(name);
        else if (!current.allowedOn(tx, band()))
            text = tr("Transmitting on %1, which is not for %2").arg(name, BandPlan::name(band()));
    }
    // Once for each transmission on the wrong antenna.
    if (text == transmitWarned)
        return;
    transmitWarned = text;
    if (!text.isEmpty())
        emit warning(text);
}
