#pragma once

#include "band/BandFollowSettings.h"

#include <QObject>

class BandFollower;
class HamlibSource;
class LoggerListener;
class SwitchSeam;

// Band follow as the panel runs it: the sources named in the settings, the
// follower between them and the switch, and one stream of status-bar lines.
class BandFollow : public QObject
{
    Q_OBJECT

public:
    BandFollow(const BandFollowSettings &settings, SwitchSeam *seam, QObject *parent = nullptr);
    ~BandFollow() override;

    BandFollower *follower() const { return bandFollower; }
    // Messages about sources that could not start, for stderr.
    QStringList startProblems() const { return problems; }

signals:
    void statusText(const QString &text);
    void bandChanged(const QString &bandKey);

private:
    // Handles what the sources have already received, before a select
    // leaves; false while a logger's packet still waits to be read.
    bool freshen();

    BandFollower *bandFollower = nullptr;
    HamlibSource *hamlib = nullptr;
    LoggerListener *loggers = nullptr;
    QStringList problems;
};
