#include "panel/MainWindow.h"
#include "ui_mainWindow.h"

#include "about/about.h"
#include "link/LinkLossHandler.h"
#include "link/MonotonicClock.h"
#include "link/SerialLink.h"
#include "link/Transmitter.h"
#include "panel/AntennaLabels.h"
#include "panel/DarkTheme.h"
#include "panel/KeyDimming.h"
#include "panel/KeyPainting.h"
#include "panel/PanelAccessibility.h"
#include "panel/PanelKeyboard.h"
#include "panel/Resources.h"
#include "panel/PanelView.h"
#include "panel/SnapshotOfPanel.h"
#include "panel/SwitchSeam.h"
#include "settings/SettingsDialog.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaType>
#include <QScopedValueRollback>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent, Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint)
    , ui(new Ui::mainWindow)
    , pump(commandQueue, LinkPump::Panel{[this] {
                                             switchSeam->dispatched(QByteArray(
                                                 reinterpret_cast<const char *>(rxBuffer), rxCount));
                                             processaPacoteRecebido(this);
                                         },
                                         [this] { switchSilent(); }, [this] { publishSnapshot(); }})
{
    initPanelResources();
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    view = std::make_unique<PanelView>(PanelView::Widgets{
        {ui->botaoTecla1, ui->botaoTecla2, ui->botaoTecla3, ui->botaoTecla4, ui->botaoTecla5, ui->botaoTecla6,
         ui->botaoTecla7, ui->botaoTecla8},
        {ui->busy1, ui->busy2, ui->busy3, ui->busy4, ui->busy5, ui->busy6, ui->busy7, ui->busy8},
        {ui->rotor1, ui->rotor2, ui->rotor3, ui->rotor4},
        ui->split, ui->send, ui->power, ui->superSplit});

    serialPort = new QSerialPort(this);
    settings = new SettingsDialog;
    // The dialog has no parent, so it is a window of its own; it must not
    // keep the program running once the panel is closed.
    settings->setAttribute(Qt::WA_QuitOnClose, false);
    ui->actionConfigure->setEnabled(true);
    loadAntennaLabels();
    setEnabled(true);

    connect(ui->actionConfigure, SIGNAL(triggered()), settings, SLOT(show()));
    connect(ui->actionConnect_to_TQX_5R, SIGNAL(triggered()), this, SLOT(openSerialPort()));
    connect(ui->actionDisconnect, SIGNAL(triggered()), this, SLOT(closeSerialPort()));
    // A device that vanishes makes the port report errors without end; the
    // error handler closes it. Nothing reads the port on ready-read: the
    // receive step is its only reader.
    connect(serialPort, SIGNAL(errorOccurred(QSerialPort::SerialPortError)),
            this, SLOT(handleError(QSerialPort::SerialPortError)));

    switchSeam = new SwitchSeam(
        [this](CommandWord word) { return queueCommand(word, CommandQueue::Origin::Feature); }, this);
    commandQueue.setGuardedWord({[this] { return switchSeam->guardedWordReady(); },
                                 [this] { return switchSeam->takeGuardedWord(); },
                                 [this] { return switchSeam->guardedWord().has_value(); },
                                 [this](CommandWord word) { switchSeam->guardedWordWritten(word); }});
    connect(switchSeam, &SwitchSeam::guardedWordChanged, this, [this] {
        commandQueue.refresh();
        pump.nudge();
    });
    connect(switchSeam, &SwitchSeam::statusWanted, this,
            [this](std::optional<qint64> atMs) { pump.wantStatusAt(atMs); });
    session = new LinkSession(pump, this);
    session->setSettingsSource([this] { return settings->serialSettings(); },
                               [this](const QString &portName) { settings->selectCustomPort(portName); });
    connect(session, &LinkSession::opened, this,
            [this](const SerialSettings &, const QString &message) { linkOpened(message); });
    connect(session, &LinkSession::closed, this, &MainWindow::linkClosed);
    connect(session, &LinkSession::status, this, [this](const QString &text) { showStatus(text); });
    serialLink = new SerialLink(serialPort, this);
    setLink(serialLink);
    publishSnapshot();
    // Screen readers and keyboard-only operation; neither changes a pixel.
    new PanelAccessibility(this, switchSeam);
    // Keys a feature says are not for the band (none without one).
    new KeyDimming({ui->botaoTecla1, ui->botaoTecla2, ui->botaoTecla3, ui->botaoTecla4, ui->botaoTecla5,
                    ui->botaoTecla6, ui->botaoTecla7, ui->botaoTecla8},
                   switchSeam, this);
    keyboard = new PanelKeyboard(this);
}

MainWindow::~MainWindow()
{
    delete settings;
    delete ui;
    if (serialPort && serialPort->parent() == this)
        serialPort = nullptr;
}

MainWindow::StationActions MainWindow::stationActions() const
{
    return {ui->menuStation,          ui->actionBand_Follow,     ui->actionBand_Follow_Settings,
            ui->actionReconnect_Automatically, ui->actionConnect_at_Start, ui->actionBroker_Settings,
            ui->actionAntenna_Captions, ui->actionAntenna_Bands};
}

void MainWindow::registerMetaType()
{
    qRegisterMetaType<MainWindow *>("MainWindow*");
}

// --- Traffic driven by the poll thread --------------------------------------

void MainWindow::callEnviar()
{
    pump.pollTurn();
}

void MainWindow::callReceber(MainWindow *)
{
    pump.receiveStep();
}

void MainWindow::callEnvioFila()
{
    // A word whose turn comes while disconnected is dropped, not kept for later.
    pump.commandTurn();
}

void MainWindow::connectAtStart(const QString &portName)
{
    if (link == serialLink)
        session->useCustomPort(portName);
    openPort(link == serialLink);
}

bool MainWindow::queueCommand(CommandWord word, CommandQueue::Origin origin)
{
    if (commandQueue.append(word, origin)) {
        pump.nudge();
        return true;
    }
    showStatus(tr("Too many commands waiting for the TQX-5R; a command was dropped"));
    return false;
}

// --- Serial connection --------------------------------------------------------

void MainWindow::openSerialPort()
{
    openPort(false);
}

void MainWindow::openPort(bool namePort)
{
    const SerialSettings p = settings->serialSettings();
    if (!session->open(p)) {
        // At start nobody chose the port just now: the box says which.
        critical(tr("Error"), namePort ? tr("Cannot open %1: %2").arg(p.portName, link->errorString())
                                       : link->errorString());
        // A reconnect may have opened the port while the box was up.
        if (!link->isOpen())
            showStatus(tr("Open error"));
        publishSnapshot();
    }
}

SerialSettings MainWindow::serialSettings() const
{
    return settings->serialSettings();
}

void MainWindow::linkOpened(const QString &message)
{
    lastReport = SwitchReport();
    ui->actionConfigure->setEnabled(false);
    ui->actionConnect_to_TQX_5R->setEnabled(false);
    if (!message.isEmpty())
        showStatus(message);
    publishSnapshot();
}

void MainWindow::closeSerialPort()
{
    {
        // What the window shows is published once "Disconnected" is said.
        const QScopedValueRollback<bool> saying(sayingDisconnected, true);
        session->close();
    }
    showStatus(tr("Disconnected"));
    publishSnapshot();
}

void MainWindow::closeSerialPortQuietly()
{
    session->closeQuietly();
}

void MainWindow::linkClosed()
{
    lastReport = SwitchReport();
    ui->actionConfigure->setEnabled(true);
    ui->actionConnect_to_TQX_5R->setEnabled(true);
    ui->power->setChecked(false);
    if (!sayingDisconnected)
        publishSnapshot();
}

void MainWindow::readData()
{
    serialPort->readAll();
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    // The port repeats the error for as long as it stays open; the first
    // report closes it, so one loss gives one box. Closing a hung-up device
    // can fail and report errors of its own, while the port still counts as
    // open: they belong to the loss being handled.
    if (!serialPort->isOpen() || closingLostPort)
        return;
    // When the device hangs up, Qt 5.15 reports whatever errno was left over
    // ("Unknown error", "Inappropriate ioctl for device"), so the library's
    // words alone do not tell the operator what happened.
    const QString description = tr("The connection to %1 was lost: %2")
                                    .arg(session->openedName(), serialPort->errorString());
    {
        const QScopedValueRollback<bool> closing(closingLostPort, true);
        closeSerialPort();
    }
    if (session->deviceLost())
        return;
    critical(tr("Critical Error"), description);
}

void MainWindow::critical(const QString &title, const QString &text)
{
    if (criticalMessage)
        criticalMessage(title, text);
    else
        QMessageBox::critical(this, title, text);
}

void MainWindow::switchSilent()
{
    ui->power->setChecked(false);
    showStatus(tr("No answer from TQX-5R"));
}

void MainWindow::heardFromSwitch()
{
    pump.frameArrived();
    session->switchAnswered();
}

// --- Frames from the switch ---------------------------------------------------

void MainWindow::processaPacoteRecebido(MainWindow *w)
{
    if (rxBuffer[0] != Protocol::headerFirst || rxBuffer[1] != Protocol::headerSecond)
        return;
    switch (rxBuffer[2]) {
    case Protocol::statusType:
        w->heardFromSwitch();
        processaPDR(w);
        break;
    case Protocol::firmwareType:
        // The firmware answer is an answer too: it restarts the silence clock.
        w->heardFromSwitch();
        w->showFirmwareRevision(rxBuffer[3], rxBuffer[4]);
        break;
    default:
        break;
    }
}

void MainWindow::processaPDR(MainWindow *w)
{
    PanelDisplay display = w->currentDisplay();
    applyStatusFrame(panelState, display, rxBuffer);
    w->showDisplay(display);
    // Skipped for painting or not, what the frame says is news to whoever
    // holds back for SEND or learns what the switch does.
    w->lastReport = SwitchReport::fromStatusFrame(rxBuffer);
    w->publishSnapshot();
    w->switchSeam->reported(w->lastReport);
}

void MainWindow::showFirmwareRevision(quint8 major, quint8 minor)
{
    showStatus(tr("Connected! Firmware Revision: %1 . %2").arg(major).arg(minor));
    ui->labelFWVersion->setText(QString::asprintf("FW Revision: %d.%d", major, minor));
    firmwareKnown = true;
    firmwareMajor = major;
    firmwareMinor = minor;
}

// --- Painting -------------------------------------------------------------------

PanelDisplay MainWindow::currentDisplay() const
{
    return view->current();
}

void MainWindow::showDisplay(const PanelDisplay &display)
{
    view->show(display);
}

void MainWindow::atualizaTeclas(qint8 *pos)
{
    PanelDisplay display = currentDisplay();
    display.keys = KeyPainting::paintKeys(panelState, view->keyLooks(), *pos);
    showDisplay(display);
}

void MainWindow::updateSuperSplitIndicator()
{
    ui->superSplit->setChecked(
        KeyPainting::superSplitIndicator(panelState, ui->superSplit->isChecked()));
}

// --- Operator commands ------------------------------------------------------------

void MainWindow::applyEffects(const OperatorCommands::Effects &effects)
{
    using OperatorCommands::Indicator;
    using OperatorCommands::Message;
    if (effects.superSplitIndicator != Indicator::Keep)
        ui->superSplit->setChecked(effects.superSplitIndicator == Indicator::Check);
    if (effects.repaint) {
        qint8 position = effects.repaintPosition;
        atualizaTeclas(&position);
    }
    if (effects.refreshSuperSplitIndicator)
        updateSuperSplitIndicator();
    for (CommandWord word : effects.words)
        queueCommand(word);
    switch (effects.message) {
    case Message::None:
        break;
    case Message::ChooseTxPosition:
        showStatus(tr("Choose the TX position:"));
        break;
    case Message::SplitConfigured:
        // A word queued while the port is closed is dropped unsent, so the
        // operator is not told it was configured.
        showStatus(linkCanSend() ? tr("Split configured succesfuly!")
                                : tr("Not connected to TQX-5R"));
        break;
    case Message::SplitDisabled:
        showStatus(tr("Split disabled"));
        break;
    case Message::ChooseSuperSplitAntennas:
        showStatus(tr("Choose antennas for Super Split:"));
        break;
    case Message::SuperSplitConfigured:
        showStatus(linkCanSend() ? tr("Super Split configured succesfully!")
                                : tr("Not connected to TQX-5R"));
        break;
    }
    publishSnapshot();
}

bool MainWindow::applyChecked(const PanelState &after, const OperatorCommands::Effects &effects)
{
    // A feature may refuse the command's words (an antenna not for the
    // band): then nothing changes but the status text.
    const SwitchSeam::WordVerdict verdict = switchSeam->checkWords(effects.words);
    if (!verdict.send) {
        showStatus(verdict.text);
        return false;
    }
    panelState = after;
    applyEffects(effects);
    if (!verdict.text.isEmpty())
        showStatus(verdict.text);
    return true;
}

void MainWindow::enviaComutacao(qint8 pos)
{
    // Outside split and super split a key selects its antenna, rather than
    // picking a partner.
    const bool selects = !panelState.choosingSplitTx && !panelState.choosingSuperSplit
                         && panelState.splitActive != 1;
    PanelState after = panelState;
    const OperatorCommands::Effects effects = OperatorCommands::keyCommand(after, pos);
    if (applyChecked(after, effects) && selects)
        switchSeam->selected(pos);
}

void MainWindow::on_botaoTecla1_clicked() { enviaComutacao(0); }
void MainWindow::on_botaoTecla2_clicked() { enviaComutacao(1); }
void MainWindow::on_botaoTecla3_clicked() { enviaComutacao(2); }
void MainWindow::on_botaoTecla4_clicked() { enviaComutacao(3); }
void MainWindow::on_botaoTecla5_clicked() { enviaComutacao(4); }
void MainWindow::on_botaoTecla6_clicked() { enviaComutacao(5); }
void MainWindow::on_botaoTecla7_clicked() { enviaComutacao(6); }
void MainWindow::on_botaoTecla8_clicked() { enviaComutacao(7); }

void MainWindow::on_power_clicked()
{
    // POWER only shows what the switch reports; the next status frame sets it back.
}

void MainWindow::on_rotor1_clicked() { selectRotor(1); }
void MainWindow::on_rotor2_clicked() { selectRotor(2); }
void MainWindow::on_rotor3_clicked() { selectRotor(3); }
void MainWindow::on_rotor4_clicked() { selectRotor(4); }

void MainWindow::selectRotor(int n)
{
    applyEffects(OperatorCommands::rotorButton(panelState, n));
}

void MainWindow::on_split_clicked()
{
    PanelState after = panelState;
    const OperatorCommands::Effects effects = OperatorCommands::splitButton(after);
    applyChecked(after, effects);
}

void MainWindow::on_superSplit_clicked()
{
    applyEffects(OperatorCommands::superSplitButton(panelState));
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::aboutQt(this, QStringLiteral("About Qt"));
}

void MainWindow::on_actionAbout_Veltrix_triggered()
{
    auto *dialog = new about(this);
    // Each activation opens one more dialog; a closed one is freed at once
    // rather than kept until the window goes.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

bool MainWindow::event(QEvent *event)
{
    // A message stays until the next one replaces it: a menu entry the
    // pointer passes over (none has a tip of its own) must not wipe it.
    if (event->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(event);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // A held F-key acts once: auto-repeat would queue words faster than the
    // link drains them, and no poll goes out while words wait.
    if (event->isAutoRepeat())
        return;
    const int key = event->key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F8)
        enviaComutacao(static_cast<qint8>(key - Qt::Key_F1));
    else
        keyboard->keyPressed(event); // Enter and F10; any other key is swallowed
}

// --- Antenna labels -----------------------------------------------------------------

void MainWindow::loadAntennaLabels()
{
    const AntennaLabels::Captions captions =
        AntennaLabels::read(QCoreApplication::applicationDirPath() + QStringLiteral("/settings.cfg"));
    QStringList texts = view->captions();
    for (int i = 0; i < positionCount; ++i) {
        if (captions[static_cast<size_t>(i)])
            texts[i] = *captions[static_cast<size_t>(i)];
    }
    view->setCaptions(texts);
}

void MainWindow::setCaptions(const QStringList &captions)
{
    view->setCaptions(captions);
    publishSnapshot();
}

QStringList MainWindow::captions() const
{
    return view->captions();
}

void MainWindow::showStatus(const QString &message, const QString &detail)
{
    ui->statusBar->showMessage(message);
    if (ui->statusBar->toolTip() != detail) {
        ui->statusBar->setToolTip(detail);
        ui->statusBar->setAccessibleDescription(detail);
    }
}



void MainWindow::publishSnapshot()
{
    const LinkFacts facts{link->isOpen(), session->openedName(), firmwareKnown, firmwareMajor, firmwareMinor,
                          lastReport};
    switchSeam->update(snapshotOfPanel(panelState, currentDisplay(), captions(), facts));
}

// --- The link -------------------------------------------------------------------------

void MainWindow::setLink(SwitchLink *newLink)
{
    if (link)
        disconnect(link, nullptr, this, nullptr);
    link = newLink;
    pump.setLink(link);
    // The receive step runs when bytes have come or an answer is awaited;
    // nothing is read here.
    connect(link->device(), &QIODevice::readyRead, this, [this] { pump.bytesCame(); });
    connect(link, &SwitchLink::status, this, [this](const QString &text) { showStatus(text); });
    // Frames come again once the far end is back; until then a silence is
    // the far end's, and its own message stays.
    connect(link, &SwitchLink::ready, this, [this] { pump.farEndReady(); });
    // No switch can be seen without the far end: POWER goes out at once, as
    // after a silence, and the link's own message stays.
    connect(link, &SwitchLink::lost, this, [this] {
        ui->power->setChecked(false);
        publishSnapshot();
    });
    connect(link, &SwitchLink::captionsReceived, this, &MainWindow::setCaptions);
}

bool MainWindow::linkIsOpen() const
{
    return link->isOpen();
}

bool MainWindow::linkCanSend() const
{
    return link->canSend();
}
