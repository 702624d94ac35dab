#pragma once

#include "band/BandFollowSettings.h"
#include "band/BandMemory.h"
#include "band/FollowRules.h"

#include <QElapsedTimer>
#include <QObject>

class BandFollower;
class HamlibSource;
class LoggerListener;
class SwitchSeam;

// Band follow as the panel runs it, from its settings as they stand: the
// sources they name, the senders they allow, the radio of a two-radio
// logger and the hang time; the follower between them and the switch; and
// one stream of status-bar lines. memoryPath is the antenna memory's file.
class BandFollow : public QObject
{
    Q_OBJECT

public:
    BandFollow(const BandFollowSettings &settings, const QString &memoryPath, SwitchSeam *seam,
               QObject *parent = nullptr, int rigRetryMs = HamlibSettings::defaultRetryMs);
    ~BandFollow() override;

    BandFollower *follower() const { return bandFollower; }
    // Messages about sources that could not start, for stderr.
    QStringList startProblems() const { return problems; }

    int band() const;
    FollowRules::Hold hold() const;
    BandAntennas memory() const;
    // The operator set a band's antenna by hand (or forgot it, with
    // BandMemory::noAntenna): taken at once, and written to the memory file.
    bool setRemembered(int band, int position);
    // Short texts for the status bar and the settings dialog.
    QString label() const;
    QString liveLine() const;

signals:
    void statusText(const QString &text);
    // Something that went wrong, in a few words, and the whole of it (paths,
    // reasons) for a tooltip and the log.
    void problem(const QString &shortText, const QString &detail);
    void bandChanged(const QString &bandKey);
    // The band, a hold, a source or the memory may have changed.
    void changed();

private:
    // Handles what the sources have already received, before a select
    // leaves; false while a logger's packet still waits to be read.
    bool freshen();

    BandFollower *bandFollower = nullptr;
    HamlibSource *hamlib = nullptr;
    LoggerListener *loggers = nullptr;
    QStringList problems;
    bool rigIsRigctld = false;
    std::optional<bool> rigAnswering;
    QElapsedTimer sinceLastPacket;
};
