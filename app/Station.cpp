#include "app/Station.h"

#include "band/AntennaGuard.h"
#include "band/BandFollow.h"
#include "band/BandFollower.h"
#include "band/FollowStatus.h"
#include "panel/AntennaLabels.h"
#include "panel/MainWindow.h"
#include "panel/SwitchSeam.h"
#include "reconnect/ReconnectDriver.h"
#include "remote/BrokerBridge.h"
#include "remote/BrokerState.h"
#include "remote/DiscoveryPublisher.h"
#include "remote/RemoteFeature.h"
#include "rig/HamlibModels.h"
#include "settings/AntennaBandsDialog.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerChecks.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"
#include "settings/SettingsDialog.h"
#include "settings/StationKeys.h"

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

BrokerSecretKey secretKeyFor(const QString &profile, const BrokerSettings &broker)
{
    return BrokerSecretKey{profile, broker.host, broker.effectivePort(), broker.user};
}

// Shows a dialog that may already be open: brought forward as it stands.
void bringForward(QDialog *dialog)
{
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
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
    connect(window.seam(), &SwitchSeam::stateChanged, this, &Station::switchChanged);
    switchChanged();
}

Station::~Station()
{
    stopBandFollow();
    delete reconnect;
    // Says "offline" on the broker, waiting a bounded time.
    broker.reset();
}

void Station::setLog(Tell info, Tell warning)
{
    logInfo = std::move(info);
    logWarning = std::move(warning);
}

void Station::recompute()
{
    run = effectiveStation(remembered, options.overrides, profilePaths.bandMemoryFile, profilePaths.antennasFile);
}

QString Station::remember(const std::function<void(StationSettings &)> &change)
{
    change(remembered);
    // Another panel of the same profile may have saved since: its settings
    // stay, only this change is added to what the file holds now.
    StationSettingsFile current(settingsFile.path());
    StationSettings onFile = current.load();
    if (!current.problem().isEmpty())
        onFile = remembered;
    else
        change(onFile);
    QString error;
    if (!settingsFile.save(onFile, &error)) {
        const QString problem = tr("%1 The change holds for this run only.").arg(error);
        fail(tr("Cannot save the settings; the change holds for this run only"), problem);
        return problem;
    }
    if (!settingsFile.keptCopy().isEmpty())
        logInfo(tr("The settings file that could not be read was kept as %1").arg(settingsFile.keptCopy()));
    return QString();
}

void Station::say(const QString &text)
{
    window.showStatus(text);
}

void Station::fail(const QString &shortText, const QString &detail)
{
    window.showStatus(shortText, detail);
    logWarning(detail);
}

void Station::giveUp()
{
    if (gaveUpSaid)
        return;
    gaveUpSaid = true;
    emit gaveUp();
}

// --- Building and starting ------------------------------------------------------------------

void Station::build()
{
    if (!settingsFile.problem().isEmpty())
        fail(tr("The remembered settings could not all be read; see the tooltip"), settingsFile.problem());
    loadUserCaptions();
    if (!options.headless)
        wireMenu();
    startAntennaRules();
    if (run.reconnect())
        setReconnect(true);
    if (run.bandFollowRuns)
        startBandFollow();
    startBrokerAsSet();
    refreshMenu();
}

void Station::start()
{
    if (run.broker().mode == BrokerSettings::Mode::RemotePanel) {
        // Attaches to the broker as "Connect to TQX-5R" would, once the
        // password is known (it may still be on its way from the store).
        if (remotePanelBuilt && !waitingForPassword)
            window.connectAtStart(QString());
        else
            attachWhenPasswordComes = true;
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
        giveUp();
}

// --- The Station menu -------------------------------------------------------------------------

void Station::wireMenu()
{
    const MainWindow::StationActions actions = window.stationActions();
    connect(actions.bandFollow, &QAction::triggered, this, &Station::setBandFollowOn);
    connect(actions.bandFollowSettings, &QAction::triggered, this, &Station::showBandFollowDialog);
    connect(actions.reconnect, &QAction::triggered, this, [this](bool on) {
        options.overrides.forget({StationKeys::Name::reconnect});
        remember([on](StationSettings &s) { s.reconnect = on; });
        recompute();
        setReconnect(run.reconnect());
    });
    connect(actions.connectAtStart, &QAction::triggered, this, [this](bool on) {
        // The last connection of this run that the switch answered on, if
        // any, is the one the next start uses: checked by the operator, even
        // one that --port named.
        const SerialSettings last = lastWorking.portName.isEmpty() ? remembered.lastConnection : lastWorking;
        remember([on, &last](StationSettings &s) {
            s.connectAtStart = on;
            if (on && !last.portName.isEmpty())
                s.lastConnection = last;
        });
    });
    connect(actions.brokerSettings, &QAction::triggered, this, &Station::showBrokerDialog);
    connect(actions.antennaCaptions, &QAction::triggered, this, &Station::showCaptionsDialog);
    connect(actions.antennaBands, &QAction::triggered, this, &Station::showAntennaBandsDialog);
}

void Station::refreshMenu()
{
    if (options.headless)
        return;
    const MainWindow::StationActions actions = window.stationActions();
    actions.bandFollow->setEnabled(run.bandFollow().hasSource());
    // Checked while band follow runs: what the label says, never more.
    actions.bandFollow->setChecked(bandFollow != nullptr);
    actions.reconnect->setChecked(reconnect != nullptr);
    actions.connectAtStart->setChecked(remembered.connectAtStart);
    // The rules count where the switch is: at the panel that owns it.
    actions.antennaBands->setEnabled(antennas != nullptr);
    showFollowState();
}

// --- Band follow ------------------------------------------------------------------------------

void Station::startBandFollow()
{
    bandFollow.reset();
    if (run.broker().mode == BrokerSettings::Mode::RemotePanel) {
        // Its selects would reach the switch as commands from the broker,
        // which nothing on the panel that owns the switch holds back.
        fail(tr("Band follow runs on the panel that owns the switch"),
             tr("Band follow runs on the panel that owns the switch, not on a remote panel; send the logger's "
                "packets or the radio there."));
        return;
    }
    BandFollowSettings preferences = run.bandFollow();
    if (preferences.rig.kind == RigSourceSettings::Kind::SerialRadio && !HamlibModels::find(preferences.rig.model)) {
        // Remembered from another Hamlib, perhaps: said once, and the rest
        // of band follow runs without the radio.
        fail(tr("Hamlib model %1 is not known here; the radio is not read").arg(preferences.rig.model),
             tr("Hamlib model %1 is not known here; the radio is not read. Choose it again in Band Follow "
                "Settings.").arg(preferences.rig.model));
        preferences.rig.kind = RigSourceSettings::Kind::None;
    }
    if (!preferences.hasSource())
        return;
    bandFollow = std::make_unique<BandFollow>(preferences, run.bandMemoryPath, window.seam());
    if (antennas)
        antennas->follow(bandFollow->follower());
    connect(bandFollow.get(), &BandFollow::statusText, this, &Station::say);
    connect(bandFollow.get(), &BandFollow::problem, this, &Station::fail);
    connect(bandFollow.get(), &BandFollow::changed, this, &Station::showFollowState);
    tellBrokerOfBandFollow();
    if (bandDialog)
        bandDialog->setBandAntennas(bandFollow->memory());
}

void Station::stopBandFollow()
{
    if (!bandFollow)
        return;
    if (antennas)
        antennas->follow(nullptr);
    bandFollow.reset();
    tellBrokerOfBandFollow();
}

void Station::tellBrokerOfBandFollow()
{
    if (!broker)
        return;
    if (broker->bridge()) {
        if (bandFollow)
            connect(bandFollow.get(), &BandFollow::bandChanged, broker->bridge(), &BrokerBridge::setBand,
                    Qt::UniqueConnection);
        broker->bridge()->setBand(bandFollow ? bandFollow->follower()->band() : QString());
    }
    if (broker->discovery())
        broker->discovery()->setBandFollow(bandFollow != nullptr);
}

void Station::setBandFollowOn(bool on)
{
    // The operator's switch wins over the command line's, whatever started
    // band follow (or kept it off after a bad option).
    options.overrides.forget({StationKeys::Name::followEnabled});
    remember([on](StationSettings &s) { s.bandFollow.enabled = on; });
    recompute();
    if (run.bandFollowRuns && !bandFollow)
        startBandFollow();
    else if (!run.bandFollowRuns)
        stopBandFollow();
    refreshMenu();
}

void Station::showFollowLabel(const QString &text)
{
    if (options.headless)
        return;
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
    if (!run.bandFollow().hasSource()) {
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
    if (!bandDialog->isVisible()) {
        // What runs now; what the operator changes from it is remembered.
        shownBandFollow = run.bandFollow();
        bandDialog->setSettings(shownBandFollow);
        bandDialog->setCaptions(captionsOf(window));
        bandDialog->setBandAntennas(bandFollow ? bandFollow->memory() : BandMemory(run.bandMemoryPath).load());
        bandDialog->setLiveStatus(bandFollow ? bandFollow->liveLine()
                                             : FollowStatus::label(false, BandPlan::noBand, FollowRules::Hold::None));
    }
    bringForward(bandDialog);
    liveLineTimer.start();
}

void Station::bandFollowApplied(const BandFollowSettings &preferences)
{
    // Only what the operator changed in the dialog is remembered (a value the
    // command line gave for this run is never written back), and it wins
    // over the command line for the rest of the run.
    StationSettings shown;
    shown.bandFollow = shownBandFollow;
    StationSettings applied;
    applied.bandFollow = preferences;
    shownBandFollow = preferences;
    const QStringList changed = StationKeys::differing(shown, applied);
    if (changed.isEmpty())
        return;
    options.overrides.forget(changed);
    const QString problem = remember([&](StationSettings &s) { StationKeys::copy(applied, s, changed); });
    if (!problem.isEmpty() && bandDialog)
        bandDialog->setSaveProblem(problem);
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
    if (!saved) {
        const QString problem = tr("Cannot save the band memory to %1; the choice holds for this run only.")
                                    .arg(run.bandMemoryPath);
        fail(tr("Cannot save the band memory"), problem);
        if (bandDialog)
            bandDialog->setSaveProblem(problem);
    }
}

// --- Reconnect and Connect at Start -----------------------------------------------------------

void Station::setReconnect(bool on)
{
    if (on && !reconnect) {
        // A child of the window, which ends it.
        reconnect = new ReconnectDriver(window.linkSession());
        reconnect->setLog([this](const QString &line) { logInfo(line); });
    } else if (!on && reconnect) {
        const bool wasRetrying = reconnect->isRetrying();
        delete reconnect;
        // The tries end; the panel is as after a loss without reconnect.
        if (wasRetrying && !window.linkIsOpen())
            say(tr("Disconnected"));
    }
    refreshMenu();
}

void Station::switchChanged()
{
    const SwitchSnapshot &snapshot = window.seam()->snapshot();
    const bool answered = snapshot.linkOpen && snapshot.power;
    const bool newlyAnswered = answered && !switchAnswered;
    switchAnswered = answered;
    if (!newlyAnswered || run.broker().mode == BrokerSettings::Mode::RemotePanel)
        return;
    // The last connection that worked: the switch answered on it. The port
    // it opened (after a reconnect perhaps another name) with the line
    // parameters of that moment; a port named on the command line is this
    // run's only and is not remembered unless the operator checks Connect
    // at Start.
    SerialSettings connection = window.serialSettings();
    connection.portName = snapshot.linkName;
    lastWorking = connection;
    if (connection.portName == options.overrides.port || sameSerialSettings(connection, remembered.lastConnection))
        return;
    if (remembered.connectAtStart)
        remember([&connection](StationSettings &s) { s.lastConnection = connection; });
    else
        remembered.lastConnection = connection;
}

// --- The broker -------------------------------------------------------------------------------

void Station::startBrokerAsSet()
{
    if (run.broker().mode == BrokerSettings::Mode::Off)
        return;
    if (!run.brokerFromCommandLine) {
        // Settings edited by hand are checked as the dialog checks them; the
        // values are not repeated (a host may hold a login).
        const BrokerChecks::Problems problems = BrokerChecks::check(run.broker(), QString());
        if (!problems.host.isEmpty() || !problems.port.isEmpty() || !problems.topic.isEmpty()
            || !problems.discoveryPrefix.isEmpty()) {
            fail(tr("The remembered broker settings cannot be used"),
                 tr("The remembered broker settings cannot be used (the host, port or topic is not valid); the "
                    "panel starts without the broker. Mend them in Broker Settings."));
            return;
        }
    }
    if (run.passwordFrom == EffectiveStation::PasswordFrom::CommandLine) {
        startBroker(run.brokerPassword);
        return;
    }
    // The window is a remote panel from the start, so no serial port is
    // ever opened; it logs in once the password comes.
    waitingForPassword = true;
    if (run.broker().mode == BrokerSettings::Mode::RemotePanel)
        startBroker(QString());
    readBrokerPassword();
}

void Station::readBrokerPassword()
{
    if (!secrets)
        secrets = new SecretStore(this);
    const BrokerSecretKey key = secretKeyFor(options.profile, run.broker());
    connect(secrets, &SecretStore::passwordRead, this,
            [this, key](const BrokerSecretKey &answered, SecretStore::State state, const QString &password,
                        const QString &message) {
                if (!(answered == key) || !waitingForPassword)
                    return;
                waitingForPassword = false;
                if (state == SecretStore::State::RunOnly && !message.isEmpty())
                    logWarning(message);
                if (run.broker().mode == BrokerSettings::Mode::RemotePanel) {
                    brokerPassword = password;
                    if (broker)
                        broker->setPassword(password);
                    if (attachWhenPasswordComes) {
                        attachWhenPasswordComes = false;
                        window.connectAtStart(QString());
                    }
                } else if (run.broker().mode != BrokerSettings::Mode::Off) {
                    startBroker(password);
                }
            });
    secrets->read(key);
}

void Station::startBroker(const QString &password)
{
    BrokerSettings settings = run.broker();
    settings.password = password;
    if (settings.remotePanel()) {
        // The window's link is the broker's from now on; swapping it back is
        // for the next start.
        if (remotePanelBuilt)
            return;
        remotePanelBuilt = true;
    }
    broker.reset();
    brokerPassword = password;
    broker = std::make_unique<RemoteFeature>(window, settings);
    connect(broker.get(), &RemoteFeature::announce, this, [this](const QString &text) {
        say(text);
        logInfo(text);
    });
    connect(broker.get(), &RemoteFeature::note, this, [this](const QString &text) { logInfo(text); });
    connect(broker->state(), &BrokerState::changed, this, &Station::showBrokerState);
    showBrokerState();
    tellBrokerOfBandFollow();
}

void Station::stopBroker()
{
    // A remote panel's link belongs to the window until the program ends.
    if (remotePanelBuilt)
        return;
    broker.reset();
    showBrokerState();
}

void Station::showBrokerState()
{
    if (options.headless)
        return;
    if (!broker || !broker->state()) {
        delete brokerLabel;
        return;
    }
    if (!brokerLabel) {
        // Beside band follow's label; the panel's texts keep the left.
        brokerLabel = new QLabel(&window);
        brokerLabel->setObjectName(QStringLiteral("brokerState"));
        window.statusBar()->addPermanentWidget(brokerLabel);
    }
    const BrokerState *state = broker->state();
    brokerLabel->setText(state->label());
    brokerLabel->setToolTip(state->detail());
    brokerLabel->setAccessibleName(state->label());
    brokerLabel->setAccessibleDescription(state->detail());
}

void Station::showBrokerDialog()
{
    if (!secrets)
        secrets = new SecretStore(this);
    if (!brokerDialog) {
        brokerDialog = new BrokerDialog(secrets, options.profile, &window);
        connect(brokerDialog, &BrokerDialog::applied, this, &Station::brokerApplied);
    }
    if (!brokerDialog->isVisible()) {
        shownBroker = run.broker();
        brokerDialog->setSettings(shownBroker);
    }
    bringForward(brokerDialog);
}

void Station::brokerApplied(const BrokerSettings &preferences, const QString &typedPassword)
{
    using Mode = BrokerSettings::Mode;
    const BrokerSettings shown = shownBroker;
    shownBroker = preferences;
    // Nothing typed for the broker and user that run now: the password they
    // run with (from the command line or the store) stays.
    const bool sameLogin = secretKeyFor(options.profile, preferences) == secretKeyFor(options.profile, run.broker());
    const QString password = typedPassword.isEmpty() && sameLogin ? brokerPassword : typedPassword;
    StationSettings shownSettings;
    shownSettings.broker = shown;
    StationSettings applied;
    applied.broker = preferences;
    const QStringList changed = StationKeys::differing(shownSettings, applied);
    if (changed.isEmpty() && password == brokerPassword)
        return;
    options.overrides.forget(changed);
    const QString problem = remember([&](StationSettings &s) { StationKeys::copy(applied, s, changed); });
    if (!problem.isEmpty() && brokerDialog)
        brokerDialog->setSaveProblem(problem);
    recompute();
    if (remotePanelBuilt) {
        // The window reaches the switch through the broker for this run.
        say(tr("Broker settings saved; they take effect at the next start of the program"));
        return;
    }
    // Publishing starts, stops or restarts at once. Becoming a remote panel
    // waits for the next start; this panel stops publishing meanwhile.
    stopBroker();
    if (run.broker().mode == Mode::Publish)
        startBroker(password);
    else if (run.broker().mode == Mode::RemotePanel)
        say(tr("Broker settings saved; this panel becomes a remote panel at the next start of the program"));
}

// --- Captions ---------------------------------------------------------------------------------

void Station::loadUserCaptions()
{
    // A file beside the program is read by the window itself, as always.
    const QString file = CaptionsFile::fileToRead(besideProgram(), profilePaths.captionsFile);
    if (file == besideProgram() || !QFileInfo(file).isFile())
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
    if (!captionsDialog->isVisible()) {
        captionsDialog->setCaptions(captionsOf(window));
        captionsDialog->setNotice(CaptionsFile::savePlan(besideProgram(), profilePaths.captionsFile).warning);
    }
    bringForward(captionsDialog);
}

void Station::captionsApplied(const CaptionsFile::Captions &captions)
{
    window.setCaptions(QStringList(captions.begin(), captions.end()));
    const CaptionsFile::SavePlan plan = CaptionsFile::savePlan(besideProgram(), profilePaths.captionsFile);
    QStringList errors = CaptionsFile::save(plan, captions);
    // The notice about the file beside the program is the dialog's own.
    errors.removeAll(plan.warning);
    if (errors.isEmpty())
        return;
    const QString problem = tr("%1 The captions show until the program ends.").arg(errors.join(QLatin1Char(' ')));
    fail(tr("Cannot save the captions; they show until the program ends"), problem);
    if (captionsDialog)
        captionsDialog->setSaveProblem(problem);
}

// --- Antenna rules ----------------------------------------------------------------------------

void Station::startAntennaRules()
{
    // A remote panel's selects are judged where the switch is.
    if (run.broker().mode == BrokerSettings::Mode::RemotePanel)
        return;
    antennas = std::make_unique<AntennaGuard>(window.seam(), run.antennasPath);
    connect(antennas.get(), &AntennaGuard::warning, this, &Station::warnLoudly);
    connect(antennas.get(), &AntennaGuard::problem, this, &Station::fail);
    antennas->start();
}

void Station::warnLoudly(const QString &text)
{
    say(text);
    // Without a screen the status text is logged already, at its level.
    if (!options.headless)
        logWarning(text);
    if (broker && broker->bridge())
        broker->bridge()->tellWarning(text);
}

void Station::showAntennaBandsDialog()
{
    if (!antennas)
        return;
    if (!antennaBandsDialog) {
        antennaBandsDialog = new AntennaBandsDialog(&window);
        connect(antennaBandsDialog, &AntennaBandsDialog::applied, this, &Station::antennaRulesApplied);
    }
    if (!antennaBandsDialog->isVisible()) {
        antennaBandsDialog->setCaptions(captionsOf(window));
        antennaBandsDialog->setRules(antennas->rules());
        const QStringList problems = antennas->problems();
        antennaBandsDialog->setNotice(problems.isEmpty() ? QString()
                                                         : tr("Lines of %1 that are ignored: %2.")
                                                               .arg(antennas->path(), problems.join(QStringLiteral("; "))));
    }
    bringForward(antennaBandsDialog);
}

void Station::antennaRulesApplied(const AntennaRules &rules)
{
    if (!antennas)
        return;
    QString error;
    const AntennaRules editedFrom = antennaBandsDialog ? antennaBandsDialog->rulesShown() : antennas->rules();
    if (antennas->save(rules, editedFrom, &error)) {
        // After Apply it shows the file as it is now, hand edits included.
        if (antennaBandsDialog)
            antennaBandsDialog->setRules(antennas->rules());
        return;
    }
    const QString problem = tr("%1 The rules hold for this run only.").arg(error);
    fail(tr("Cannot save the antenna rules; they hold for this run only"), problem);
    if (antennaBandsDialog)
        antennaBandsDialog->setSaveProblem(problem);
}
