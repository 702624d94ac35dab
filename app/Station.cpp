#include "app/Station.h"

#include "band/BandFollow.h"
#include "band/BandFollower.h"
#include "band/FollowStatus.h"
#include "panel/AntennaLabels.h"
#include "panel/MainWindow.h"
#include "panel/SwitchSeam.h"
#include "reconnect/ReconnectDriver.h"
#include "remote/BrokerBridge.h"
#include "rig/HamlibModels.h"
#include "remote/DiscoveryPublisher.h"
#include "remote/RemoteFeature.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"
#include "settings/SettingsDialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace {

constexpr int liveLineRefreshMs = 1000;

QString besideProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/settings.cfg");
}

CaptionsFile::Captions captionsOf(const MainWindow &window)
{
    CaptionsFile::Captions captions;
    const QStringList shown = window.captions();
    for (int i = 0; i < positionCount; ++i)
        captions[static_cast<size_t>(i)] = shown.value(i);
    return captions;
}

BrokerSecretKey secretKeyFor(const QString &profile, const BrokerPreferences &broker)
{
    return BrokerSecretKey{profile, broker.host, broker.effectivePort(), broker.user};
}

} // namespace

Station::Station(MainWindow &window, const Options &options, QObject *parent)
    : QObject(parent)
    , window(window)
    , options(options)
    , profilePaths(StationProfile::paths(options.profile))
    , settingsFile(profilePaths.settingsFile)
    , remembered(settingsFile.load())
    , logInfo([](const QString &) {})
    , logWarning([](const QString &) {})
{
    recompute();
    liveLineTimer.setInterval(liveLineRefreshMs);
    connect(&liveLineTimer, &QTimer::timeout, this, [this] {
        if (bandDialog && bandDialog->isVisible() && bandFollow)
            bandDialog->setLiveStatus(bandFollow->liveLine());
        else
            liveLineTimer.stop();
    });
    connect(window.seam(), &SwitchSeam::stateChanged, this, &Station::linkOpened);
    linkOpened();
}

Station::~Station()
{
    stopBandFollow();
    delete reconnect;
    // Says "offline" on the broker, waiting a bounded time.
    stopBroker();
}

void Station::setLog(Tell info, Tell warning)
{
    logInfo = std::move(info);
    logWarning = std::move(warning);
}

void Station::recompute()
{
    run = effectiveStation(remembered, options.overrides, profilePaths.bandMemoryFile);
}

void Station::remember(const std::function<void(StationSettings &)> &change)
{
    change(remembered);
    QString error;
    if (!settingsFile.save(remembered, &error))
        say(tr("Cannot save the settings to %1: %2").arg(settingsFile.path(), error));
    else if (!settingsFile.keptCopy().isEmpty())
        logInfo(tr("The settings file that could not be read was kept as %1").arg(settingsFile.keptCopy()));
}

void Station::say(const QString &text)
{
    window.showStatus(text);
}

// --- Building and starting ------------------------------------------------------------------

void Station::build()
{
    if (!settingsFile.problem().isEmpty()) {
        logWarning(settingsFile.problem());
        say(settingsFile.problem());
    }
    loadUserCaptions();
    if (!options.headless)
        wireMenu();
    if (run.reconnect)
        setReconnect(true);
    if (run.bandFollowRuns)
        startBandFollow();
    if (run.broker.mode != BrokerPreferences::Mode::Off) {
        if (run.passwordFrom == EffectiveStation::PasswordFrom::CommandLine)
            startBroker(run.brokerPassword);
        else
            readBrokerPasswordAndStart();
    }
    refreshMenu();
}

void Station::start()
{
    if (run.broker.mode == BrokerPreferences::Mode::RemotePanel) {
        // Attaches to the broker as "Connect to TQX-5R" would, once the link
        // exists (the password may still be on its way from the store).
        if (remotePanelBuilt)
            window.connectAtStart(QString());
        else
            attachWhenBrokerStarts = true;
        emit ready();
        return;
    }
    if (!run.connectAtStart) {
        emit ready();
        return;
    }
    const SerialSettings settings = *run.connectAtStart;
    window.serialSettingsDialog()->selectSettings(settings);
    if (reconnect)
        reconnect->connectAtStart(settings.portName);
    else
        window.connectAtStart(settings.portName);
    emit ready();
    if (!window.linkIsOpen() && !reconnect)
        emit gaveUp();
}

// --- The Station menu -------------------------------------------------------------------------

void Station::wireMenu()
{
    const MainWindow::StationActions actions = window.stationActions();
    connect(actions.bandFollow, &QAction::triggered, this, &Station::setBandFollowOn);
    connect(actions.bandFollowSettings, &QAction::triggered, this, &Station::showBandFollowDialog);
    connect(actions.reconnect, &QAction::triggered, this, [this](bool on) {
        options.overrides.reconnect = false;
        remember([on](StationSettings &s) { s.reconnect = on; });
        recompute();
        setReconnect(run.reconnect);
    });
    connect(actions.connectAtStart, &QAction::triggered, this, [this](bool on) {
        remember([this, on](StationSettings &s) {
            s.connectAtStart = on;
            if (!on || !sessionConnection)
                return;
            // The last connection of this run is the one the next start uses.
        });
    });
    connect(actions.brokerSettings, &QAction::triggered, this, &Station::showBrokerDialog);
    connect(actions.antennaCaptions, &QAction::triggered, this, &Station::showCaptionsDialog);
}

void Station::refreshMenu()
{
    const MainWindow::StationActions actions = window.stationActions();
    actions.bandFollow->setEnabled(run.bandFollow.hasSource());
    actions.bandFollow->setChecked(run.bandFollow.enabled && run.bandFollow.hasSource());
    actions.reconnect->setChecked(run.reconnect);
    actions.connectAtStart->setChecked(remembered.connectAtStart);
    showFollowState();
}

// --- Band follow ------------------------------------------------------------------------------

void Station::startBandFollow()
{
    bandFollow.reset();
    if (run.broker.mode == BrokerPreferences::Mode::RemotePanel) {
        // Its selects would reach the switch as commands from the broker,
        // which nothing on the panel that owns the switch holds back.
        const QString text = tr("Band follow runs on the panel that owns the switch, not on a remote panel; "
                                "send the logger's packets or the radio there.");
        say(text);
        logWarning(text);
        return;
    }
    QStringList problems;
    BandFollowPreferences preferences = run.bandFollow;
    if (preferences.rig.kind == RigSourceSettings::Kind::SerialRadio && !HamlibModels::find(preferences.rig.model)) {
        // Remembered from another Hamlib, perhaps: said once, and the rest
        // of band follow runs without the radio.
        const QString text = tr("Hamlib model %1 is not known here; the radio is not read. Choose it again "
                                "in Band Follow Settings.").arg(preferences.rig.model);
        say(text);
        logWarning(text);
        preferences.rig.kind = RigSourceSettings::Kind::None;
    }
    std::optional<BandFollowSettings> settings = toBandFollowSettings(preferences, run.bandMemoryPath, &problems);
    for (const QString &problem : problems)
        logWarning(problem);
    if (!settings)
        return;
    bandFollow = std::make_unique<BandFollow>(*settings, window.seam());
    connect(bandFollow.get(), &BandFollow::statusText, this, &Station::say);
    connect(bandFollow.get(), &BandFollow::changed, this, &Station::showFollowState);
    for (const QString &problem : bandFollow->startProblems())
        logWarning(problem);
    if (broker && broker->bridge())
        connect(bandFollow.get(), &BandFollow::bandChanged, broker->bridge(), &BrokerBridge::setBand);
    if (broker && broker->discovery())
        broker->discovery()->setBandFollow(true);
    if (bandDialog)
        bandDialog->setBandAntennas(bandFollow->memory());
}

void Station::stopBandFollow()
{
    if (!bandFollow)
        return;
    bandFollow.reset();
    if (broker && broker->bridge())
        broker->bridge()->setBand(QString());
    if (broker && broker->discovery())
        broker->discovery()->setBandFollow(false);
}

void Station::setBandFollowOn(bool on)
{
    if (options.overrides.bandFollow == StationOverrides::Given::Refused)
        options.overrides.bandFollow = StationOverrides::Given::No;
    remember([on](StationSettings &s) { s.bandFollow.enabled = on; });
    run.bandFollow.enabled = on;
    run.bandFollowRuns = on && run.bandFollow.hasSource();
    if (run.bandFollowRuns && !bandFollow)
        startBandFollow();
    else if (!run.bandFollowRuns)
        stopBandFollow();
    refreshMenu();
}

void Station::showFollowLabel(const QString &text)
{
    if (text.isEmpty()) {
        delete followLabel;
        return;
    }
    if (!followLabel) {
        // At the right of the status bar; the panel's texts keep the left.
        followLabel = new QLabel(&window);
        followLabel->setObjectName(QStringLiteral("bandFollowState"));
        window.statusBar()->addPermanentWidget(followLabel);
    }
    followLabel->setText(text);
}

void Station::showFollowState()
{
    if (!run.bandFollow.hasSource()) {
        showFollowLabel(QString());
        return;
    }
    if (!bandFollow) {
        showFollowLabel(FollowStatus::label(false, BandPlan::noBand, FollowRules::Hold::None));
        return;
    }
    showFollowLabel(bandFollow->label());
    if (bandDialog && bandDialog->isVisible()) {
        bandDialog->setLiveStatus(bandFollow->liveLine());
        bandDialog->setBandAntennas(bandFollow->memory());
    }
}

void Station::showBandFollowDialog()
{
    if (!bandDialog) {
        bandDialog = new BandFollowDialog(&window);
        connect(bandDialog, &BandFollowDialog::applied, this, &Station::bandFollowApplied);
        connect(bandDialog, &BandFollowDialog::bandAntennaEdited, this, &Station::bandAntennaEdited);
    }
    bandDialog->setSettings(run.bandFollow);
    bandDialog->setCaptions(captionsOf(window));
    bandDialog->setBandAntennas(bandFollow ? bandFollow->memory() : BandMemory(run.bandMemoryPath).load());
    bandDialog->setLiveStatus(bandFollow ? bandFollow->liveLine()
                                         : FollowStatus::label(false, BandPlan::noBand, FollowRules::Hold::None));
    bandDialog->show();
    bandDialog->raise();
    bandDialog->activateWindow();
    liveLineTimer.start();
}

void Station::bandFollowApplied(const BandFollowPreferences &preferences)
{
    // What the operator sets now wins over the command line for the rest
    // of the run too.
    StationOverrides &o = options.overrides;
    o.bandFollow = StationOverrides::Given::No;
    o.hangMs.reset();
    o.loggerRadio.reset();
    o.allowedSenders.reset();
    remember([&preferences](StationSettings &s) {
        const bool enabled = s.bandFollow.enabled;
        s.bandFollow = preferences;
        s.bandFollow.enabled = enabled;
    });
    recompute();
    // Sources start, stop or restart at once.
    stopBandFollow();
    if (run.bandFollowRuns)
        startBandFollow();
    refreshMenu();
}

void Station::bandAntennaEdited(int band, int position)
{
    bool saved = true;
    if (bandFollow) {
        saved = bandFollow->setRemembered(band, position);
    } else {
        BandMemory memory(run.bandMemoryPath);
        saved = isPosition(position) ? memory.remember(band, position) : memory.forget(band);
    }
    if (!saved)
        say(tr("Cannot save the band memory to %1").arg(run.bandMemoryPath));
}

// --- Reconnect and Connect at Start -----------------------------------------------------------

void Station::setReconnect(bool on)
{
    if (on && !reconnect) {
        // A child of the window, which ends it.
        reconnect = new ReconnectDriver(&window);
        reconnect->setLog([this](const QString &line) { logInfo(line); });
    } else if (!on && reconnect) {
        window.setLinkLossHandler(nullptr);
        delete reconnect;
    }
    refreshMenu();
}

void Station::linkOpened()
{
    const SwitchSnapshot &snapshot = window.seam()->snapshot();
    const bool opened = snapshot.linkOpen && !linkWasOpen;
    linkWasOpen = snapshot.linkOpen;
    if (!opened || run.broker.mode == BrokerPreferences::Mode::RemotePanel)
        return;
    // The last connection that worked: the port it opened (after a reconnect
    // perhaps another name) with the line parameters of that moment.
    SerialSettings connection = window.serialSettings();
    connection.portName = snapshot.linkName;
    sessionConnection = true;
    if (sameSerialSettings(connection, remembered.lastConnection))
        return;
    if (remembered.connectAtStart)
        remember([&connection](StationSettings &s) { s.lastConnection = connection; });
    else
        remembered.lastConnection = connection;
}

// --- The broker -------------------------------------------------------------------------------

void Station::readBrokerPasswordAndStart()
{
    if (!secrets)
        secrets = new SecretStore(this);
    const BrokerSecretKey key = secretKeyFor(options.profile, run.broker);
    connect(secrets, &SecretStore::passwordRead, this,
            [this, key](const BrokerSecretKey &answered, SecretStore::State state, const QString &password,
                        const QString &message) {
                if (!(answered == key) || broker || run.broker.mode == BrokerPreferences::Mode::Off)
                    return;
                if (state == SecretStore::State::RunOnly && !message.isEmpty())
                    logWarning(message);
                startBroker(password);
            });
    secrets->read(key);
}

void Station::startBroker(const QString &password)
{
    stopBroker();
    brokerPassword = password;
    BrokerSettings settings = toBrokerSettings(run.broker, password);
    if (run.broker.mode == BrokerPreferences::Mode::Publish && run.broker.discovery)
        settings.discoveryPrefix = run.broker.discoveryPrefix;
    if (settings.remotePanel) {
        // The window's link is the broker's from now on; swapping it back is
        // for the next start.
        if (remotePanelBuilt)
            return;
        remotePanelBuilt = true;
    }
    broker = std::make_unique<RemoteFeature>(window, settings);
    connect(broker.get(), &RemoteFeature::announce, this, [this](const QString &text) {
        say(text);
        logInfo(text);
    });
    connect(broker.get(), &RemoteFeature::note, this, [this](const QString &text) { logInfo(text); });
    if (bandFollow && broker->bridge())
        connect(bandFollow.get(), &BandFollow::bandChanged, broker->bridge(), &BrokerBridge::setBand);
    if (bandFollow && broker->bridge())
        broker->bridge()->setBand(bandFollow->follower()->band());
    if (bandFollow && broker->discovery())
        broker->discovery()->setBandFollow(true);
    if (settings.remotePanel && attachWhenBrokerStarts) {
        attachWhenBrokerStarts = false;
        window.connectAtStart(QString());
    }
}

void Station::stopBroker()
{
    // A remote panel's link belongs to the window until the program ends.
    if (broker && !broker->bridge())
        return;
    broker.reset();
}

void Station::showBrokerDialog()
{
    if (!secrets)
        secrets = new SecretStore(this);
    if (!brokerDialog) {
        brokerDialog = new BrokerDialog(secrets, options.profile, &window);
        connect(brokerDialog, &BrokerDialog::applied, this, &Station::brokerApplied);
    }
    brokerDialog->setSettings(run.broker);
    brokerDialog->show();
    brokerDialog->raise();
    brokerDialog->activateWindow();
}

void Station::brokerApplied(const BrokerPreferences &preferences, const QString &password)
{
    using Mode = BrokerPreferences::Mode;
    const Mode before = run.broker.mode;
    options.overrides.broker = StationOverrides::Given::No;
    options.overrides.discoveryPrefix.reset();
    remember([&preferences](StationSettings &s) { s.broker = preferences; });
    recompute();
    if (before == Mode::RemotePanel || run.broker.mode == Mode::RemotePanel) {
        if (before != run.broker.mode || before == Mode::RemotePanel)
            say(tr("Broker settings saved; a remote panel starts or stops at the next start of the program"));
        return;
    }
    // Publishing starts, stops or restarts at once.
    if (run.broker.mode == Mode::Off)
        stopBroker();
    else
        startBroker(password);
}

// --- Captions ---------------------------------------------------------------------------------

void Station::loadUserCaptions()
{
    // A file beside the program is read by the window itself, as always.
    const QString file = CaptionsFile::fileToRead(besideProgram(), profilePaths.captionsFile);
    if (file == besideProgram() || !QFileInfo::exists(file))
        return;
    const AntennaLabels::Captions read = AntennaLabels::read(file);
    QStringList captions;
    for (const std::optional<QString> &caption : read)
        captions << caption.value_or(QString());
    window.setCaptions(captions);
}

void Station::showCaptionsDialog()
{
    if (!captionsDialog) {
        captionsDialog = new CaptionsDialog(&window);
        connect(captionsDialog, &CaptionsDialog::applied, this, &Station::captionsApplied);
    }
    captionsDialog->setCaptions(captionsOf(window));
    captionsDialog->setNotice(CaptionsFile::savePlan(besideProgram(), profilePaths.captionsFile).warning);
    captionsDialog->show();
    captionsDialog->raise();
    captionsDialog->activateWindow();
}

void Station::captionsApplied(const CaptionsFile::Captions &captions)
{
    window.setCaptions(QStringList(captions.begin(), captions.end()));
    const QStringList messages =
        CaptionsFile::save(CaptionsFile::savePlan(besideProgram(), profilePaths.captionsFile), captions);
    if (!messages.isEmpty())
        say(messages.join(QLatin1Char(' ')));
}
