#pragma once

#include "band/BandMemory.h"
#include "band/FollowRules.h"
#include "rig/RigReading.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <functional>

class SwitchSeam;

// Puts the follow rules to work on the GUI thread: readings from the sources
// and the switch's state from the seam go in; the select band follow wants
// waits at the seam as its guarded word, choices go to the memory file, and
// lines for the status bar come out. Just before the select is written the
// panel asks again: the sources are read for news first, then the rules
// decide on the latest.
class BandFollower : public QObject
{
    Q_OBJECT

public:
    BandFollower(SwitchSeam *seam, const QString &memoryPath, qint64 hangMs = FollowRules::defaultHangMs,
                 QObject *parent = nullptr);
    // Learns a choice still waiting for its band, and takes the select back.
    ~BandFollower() override;

    // The band the radio is on ("20m"), empty until one is known.
    QString band() const;
    FollowRules::Hold hold() const { return rules.hold(nowMs()); }
    const FollowRules &followRules() const { return rules; }

    // The operator set a band's antenna by hand, or forgot it
    // (BandMemory::noAntenna); false when the memory file could not be written.
    bool setRemembered(int band, int position);

    // Handles the sources' news that has arrived but not been handled yet,
    // just before a select leaves; false when some is still waiting (the
    // select then waits a turn).
    void setFreshen(std::function<bool()> freshen) { freshenSources = std::move(freshen); }

    // The antenna rules: which set-ups band follow may select and learn on
    // a band, and a look at whether they changed, taken just before a word
    // leaves. None: every set-up may be used.
    void setAntennaRules(FollowRules::Permitted permitted, std::function<void()> refresh);

public slots:
    void takeReading(const RigReading &reading);
    // A logger port hears far more than a logger sends (or stopped doing so).
    void loggerFlooded(bool flooded);
    // Looks again whether the select may go, e.g. after it waited for news.
    void reconsider();

signals:
    void statusText(const QString &text);
    void problem(const QString &shortText, const QString &detail);
    void bandChanged(const QString &bandKey);
    // The set-up remembered for the band is not for it by the antenna rules,
    // and is not selected.
    void notForBand(int band, int position, int splitTx);
    // After each event: the band, a hold or the memory may have changed.
    void changed();

private:
    void switchStateChanged(const SwitchSnapshot &snapshot);
    void statusFrameRead();
    void apply(const FollowRules::Actions &actions);
    bool mayLeaveNow();
    void left();
    // The seam's guarded word and readiness, and the timer, as the rules say.
    void offer();
    // The memory file changed under us (edited by hand): its lines count.
    void memoryFileChanged();
    void watchMemoryFile();
    // The link's clock, so a wanted status is timed on the poll thread's.
    static qint64 nowMs();

    SwitchSeam *seam;
    BandMemory memory;
    FollowRules rules;
    QTimer deadlineTimer;
    QFileSystemWatcher memoryWatcher;
    std::function<bool()> freshenSources;
    std::function<void()> refreshRules;
    std::optional<CommandWord> offered;
    std::optional<qint64> statusAsked;
    bool saveFailureShown = false;
};
