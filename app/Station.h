#pragma once

#include "band/AntennaRules.h"
#include "settings/CaptionsFile.h"
#include "settings/SecretStore.h"
#include "settings/StationOverrides.h"
#include "settings/StationProfile.h"
#include "settings/StationSettings.h"
#include "settings/StationSettingsFile.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class AntennaBandsDialog;
class AntennaGuard;
class BandFollow;
class BandFollowDialog;
class BrokerDialog;
class CaptionsDialog;
class MainWindow;
class QLabel;
class ReconnectDriver;
class RemoteFeature;

// The station around the panel: band follow, unattended reconnect, the broker
// and the key captions, built from the remembered settings with the command
// line on top, started and stopped at run time from the Station menu, and
// remembered between runs. This is the one place that creates the features;
// they meet the panel only at its seam, and the window keeps its own slots.
class Station : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString profile;             // empty: the default profile
        StationOverrides overrides;  // what the command line says for this run
        bool headless = false;       // no window: messages go to the log
    };

    // Where messages go: the status bar and, without a screen, the log.
    using Tell = std::function<void(const QString &text)>;

    Station(MainWindow &window, const Options &options, QObject *parent = nullptr);
    // Band follow first (it learns a last choice), the broker last (it says
    // "offline"); the window outlives the station.
    ~Station() override;

    const EffectiveStation &effective() const { return run; }
    const StationProfile::Paths &paths() const { return profilePaths; }
    // The remembered settings could not be read: why (said at start).
    QString settingsProblem() const { return settingsFile.problem(); }

    // Creates the features; before the window shows and the poll thread runs.
    void build();
    // Once the event loop runs: connects at start, or attaches a remote
    // panel to its broker.
    void start();
    // Band follow ends before the poll thread stops.
    void stopBandFollow();

    // Messages for stderr besides the status bar (notes, start problems).
    void setLog(Tell info, Tell warning);
    // Whether a lost or unopened port is tried again.
    bool reconnects() const { return !reconnect.isNull(); }
    // Nothing is left to do (no port, no reconnect): gaveUp() once.
    void gaveUpNow() { giveUp(); }

signals:
    // Ready for service: the port opened at start, or the first reconnect
    // try made, or nothing to connect.
    void ready();
    // Without --reconnect a panel without a screen has nothing left to do
    // after its port failed to open or was lost.
    void gaveUp();

private:
    void wireMenu();
    void refreshMenu();
    void recompute();
    // Remembers a change; the problem, if it could not be saved (said too).
    QString remember(const std::function<void(StationSettings &)> &change);

    void startBandFollow();
    void tellBrokerOfBandFollow();
    void setBandFollowOn(bool on);
    void showBandFollowDialog();
    void bandFollowApplied(const BandFollowSettings &preferences);
    void bandAntennaEdited(int band, int position);
    void showFollowState();
    void showFollowLabel(const QString &text);
    void showBrokerState();

    void setReconnect(bool on);
    void switchChanged();

    void startBrokerAsSet();
    void startBroker(const QString &password);
    void stopBroker();
    void readBrokerPassword();
    void showBrokerDialog();
    void brokerApplied(const BrokerSettings &preferences, const QString &password);

    void loadUserCaptions();
    void showCaptionsDialog();
    void captionsApplied(const CaptionsFile::Captions &captions);

    void startAntennaRules();
    void showAntennaBandsDialog();
    void antennaRulesApplied(const AntennaRules &rules);
    // Said at once and loudly: status bar, screen reader, broker, log.
    void warnLoudly(const QString &text);

    void say(const QString &text);
    // A failure: a short line in the status bar, the whole of it in its
    // tooltip and on stderr with its level.
    void fail(const QString &shortText, const QString &detail);
    void giveUp();

    MainWindow &window;
    Options options;
    StationProfile::Paths profilePaths;
    StationSettingsFile settingsFile;
    StationSettings remembered;
    EffectiveStation run;

    std::unique_ptr<AntennaGuard> antennas;
    std::unique_ptr<BandFollow> bandFollow;
    QPointer<ReconnectDriver> reconnect;
    std::unique_ptr<RemoteFeature> broker;
    bool remotePanelBuilt = false;
    bool waitingForPassword = false;
    bool attachWhenPasswordComes = false;
    SecretStore *secrets = nullptr;
    QString brokerPassword;   // this run's, never written anywhere
    bool switchAnswered = false;
    SerialSettings lastWorking;   // the connection the switch last answered on
    bool gaveUpSaid = false;
    BandFollowSettings shownBandFollow;   // as the dialog was filled
    BrokerSettings shownBroker;

    QPointer<BandFollowDialog> bandDialog;
    QPointer<BrokerDialog> brokerDialog;
    QPointer<CaptionsDialog> captionsDialog;
    QPointer<AntennaBandsDialog> antennaBandsDialog;
    QTimer liveLineTimer;
    QPointer<QLabel> followLabel;
    QPointer<QLabel> brokerLabel;

    Tell logInfo;
    Tell logWarning;
};
