#include "panel/MainWindow.h"
#include "ui_mainWindow.h"

#include "about/about.h"
#include "link/LinkLossHandler.h"
#include "link/RemoteLink.h"
#include "link/Transmitter.h"
#include "panel/AntennaLabels.h"
#include "panel/DarkTheme.h"
#include "panel/KeyPainting.h"
#include "panel/PanelAccessibility.h"
#include "panel/PanelKeyboard.h"
#include "panel/Resources.h"
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
{
    initPanelResources();
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());
    keys = {ui->botaoTecla1, ui->botaoTecla2, ui->botaoTecla3, ui->botaoTecla4,
            ui->botaoTecla5, ui->botaoTecla6, ui->botaoTecla7, ui->botaoTecla8};
    busyIndicators = {ui->busy1, ui->busy2, ui->busy3, ui->busy4,
                      ui->busy5, ui->busy6, ui->busy7, ui->busy8};
    rotorIndicators = {ui->rotor1, ui->rotor2, ui->rotor3, ui->rotor4};

    serialPort = new QSerialPort(this);
    // The receive step drains far faster than any serial line fills, but a
    // runaway sender must not grow the port's own buffer without end.
    serialPort->setReadBufferSize(portReadBufferBytes);
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

    monotonicClock.start();
    switchSeam = new SwitchSeam([this](CommandWord word) { queueCommand(word); }, this);
    publishSnapshot();
    // Screen readers and keyboard-only operation; neither changes a pixel.
    new PanelAccessibility(this, switchSeam);
    keyboard = new PanelKeyboard(this);
}

MainWindow::~MainWindow()
{
    delete settings;
    delete ui;
    if (serialPort && serialPort->parent() == this)
        serialPort = nullptr;
}

void MainWindow::registerMetaType()
{
    qRegisterMetaType<MainWindow *>("MainWindow*");
}

// --- Traffic driven by the poll thread --------------------------------------

void MainWindow::callEnviar()
{
    // A remote panel never polls: the panel that owns the switch does.
    if (!remoteLink)
        Transmitter::sendPollRequest();
}

void MainWindow::callReceber(MainWindow *w)
{
    receiver.receive(linkDevice(), [this, w] {
        switchSeam->dispatched(QByteArray(reinterpret_cast<const char *>(rxBuffer), rxCount));
        processaPacoteRecebido(w);
    });
    checkForSilence();
    publishSnapshot();
}

void MainWindow::callEnvioFila()
{
    if (commandQueue.isEmpty())
        return;
    const CommandWord word = commandQueue.takeFirst();
    queuedWordCount.store(commandQueue.size());
    // A word whose turn comes while disconnected is dropped, not kept for later.
    if (!remoteLink)
        Transmitter::sendCommand(word);
    else if (remoteLink->isOpen())
        remoteLink->sendCommand(word);
}

void MainWindow::connectAtStart(const QString &portName)
{
    if (!remoteLink)
        useCustomPort(portName);
    openSerialPort();
}

void MainWindow::useCustomPort(const QString &portName)
{
    settings->selectCustomPort(portName);
}

void MainWindow::queueCommand(CommandWord word)
{
    commandQueue.append(word);
    queuedWordCount.store(commandQueue.size());
}

// --- Serial connection --------------------------------------------------------

void MainWindow::openSerialPort()
{
    if (remoteLink) {
        openRemoteLink();
        return;
    }
    if (!openSerialPortQuietly(settings->serialSettings())) {
        QMessageBox::critical(this, tr("Error"), serialPort->errorString());
        // A reconnect may have opened the port while the box was up.
        if (!serialPort->isOpen())
            showStatus(tr("Open error"));
        publishSnapshot();
    }
}

SerialSettings MainWindow::serialSettings() const
{
    return settings->serialSettings();
}

bool MainWindow::openSerialPortQuietly(const SerialSettings &p)
{
    serialPort->setPortName(p.portName);
    serialPort->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(p.dataBits);
    serialPort->setParity(p.parity);
    serialPort->setStopBits(p.stopBits);
    serialPort->setFlowControl(p.flowControl);
    const bool opened = serialPort->open(QIODevice::ReadWrite);
    if (opened) {
        ui->actionConfigure->setEnabled(false);
        ui->actionConnect_to_TQX_5R->setEnabled(false);
        // All six at once, so a "%" in a port name is shown as typed.
        showStatus(tr("Connected to %1 : %2, %3, %4, %5, %6")
                       .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText,
                            p.stopBitsText, p.flowControlText));
        connectedPortName = p.portName;
        receiver.reset();
        silenceWatch.connected(monotonicClock.elapsed());
        Transmitter::sendFirmwareRequest();
        if (lossHandler)
            lossHandler->linkOpened(p.portName, ui->statusBar->currentMessage());
    }
    publishSnapshot();
    return opened;
}

void MainWindow::closeSerialPort()
{
    closeLink();
    ui->actionConfigure->setEnabled(true);
    ui->actionConnect_to_TQX_5R->setEnabled(true);
    ui->power->setChecked(false);
    silenceWatch.disconnected();
    showStatus(tr("Disconnected"));
    publishSnapshot();
    if (lossHandler)
        lossHandler->linkClosed();
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
                                    .arg(connectedPortName, serialPort->errorString());
    {
        const QScopedValueRollback<bool> closing(closingLostPort, true);
        closeSerialPort();
    }
    if (lossHandler && lossHandler->linkLost(connectedPortName))
        return;
    QMessageBox::critical(this, tr("Critical Error"), description);
}

void MainWindow::checkForSilence()
{
    if (!linkCanSend() || !silenceWatch.check(monotonicClock.elapsed()))
        return;
    ui->power->setChecked(false);
    showStatus(tr("No answer from TQX-5R"));
}

void MainWindow::heardFromSwitch()
{
    silenceWatch.frameArrived(monotonicClock.elapsed());
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
    PanelDisplay display;
    display.keys = keyLooks;
    for (int i = 0; i < positionCount; ++i)
        display.busy[i] = busyIndicators[i]->isChecked();
    for (int i = 0; i < rotorCount; ++i)
        display.rotors[i] = rotorIndicators[i]->isChecked();
    display.split = ui->split->isChecked();
    display.send = ui->send->isChecked();
    display.power = ui->power->isChecked();
    display.superSplit = ui->superSplit->isChecked();
    return display;
}

void MainWindow::showDisplay(const PanelDisplay &display)
{
    // Replacing a style sheet re-polishes the key, so only changed keys get one.
    for (int i = 0; i < positionCount; ++i) {
        if (display.keys[i] != keyLooks[i])
            keys[i]->setStyleSheet(KeyPainting::styleSheetFor(display.keys[i]));
    }
    keyLooks = display.keys;
    for (int i = 0; i < positionCount; ++i)
        busyIndicators[i]->setChecked(display.busy[i]);
    for (int i = 0; i < rotorCount; ++i)
        rotorIndicators[i]->setChecked(display.rotors[i]);
    ui->split->setChecked(display.split);
    ui->send->setChecked(display.send);
    ui->power->setChecked(display.power);
    ui->superSplit->setChecked(display.superSplit);
}

void MainWindow::atualizaTeclas(qint8 *pos)
{
    PanelDisplay display = currentDisplay();
    display.keys = KeyPainting::paintKeys(panelState, keyLooks, *pos);
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

void MainWindow::enviaComutacao(qint8 pos)
{
    // Outside split and super split a key selects its antenna, rather than
    // picking a partner.
    const bool selects = !panelState.choosingSplitTx && !panelState.choosingSuperSplit
                         && panelState.splitActive != 1;
    applyEffects(OperatorCommands::keyCommand(panelState, pos));
    if (selects)
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
    applyEffects(OperatorCommands::splitButton(panelState));
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
    for (int i = 0; i < positionCount; ++i) {
        if (captions[static_cast<size_t>(i)])
            keys[static_cast<size_t>(i)]->setText(*captions[static_cast<size_t>(i)]);
    }
}

void MainWindow::showStatus(const QString &message)
{
    ui->statusBar->showMessage(message);
}

void MainWindow::publishSnapshot()
{
    SwitchSnapshot s;
    s.linkOpen = linkIsOpen();
    s.linkName = s.linkOpen ? connectedPortName : QString();
    s.firmwareKnown = firmwareKnown;
    s.firmwareMajor = firmwareMajor;
    s.firmwareMinor = firmwareMinor;
    s.power = ui->power->isChecked();
    s.send = panelState.sendActive == 1;
    s.position = panelState.currentPosition;
    s.positionShown = keyLooks[0] != KeyLook::Form;
    s.splitOn = panelState.splitActive == 1;
    s.splitPosition = panelState.splitPosition;
    s.superSplitOn = inMask(panelState.superSplitMask, panelState.currentPosition);
    s.superSplitMask = panelState.superSplitMask;
    s.superSplitPartner = panelState.previousPosition;
    for (int i = 0; i < positionCount; ++i) {
        if (busyIndicators[static_cast<size_t>(i)]->isChecked())
            s.busyMask |= static_cast<quint8>(1u << i);
        s.captions[static_cast<size_t>(i)] = keys[static_cast<size_t>(i)]->text();
    }
    s.rotor = panelState.currentRotor;
    s.choosingSplitTx = panelState.choosingSplitTx != 0;
    s.choosingSuperSplit = panelState.choosingSuperSplit != 0;
    s.superSplitSelection = panelState.superSplitSelection;
    switchSeam->update(s);
}

// --- Remote link ----------------------------------------------------------------------

void MainWindow::useRemoteLink(RemoteLink *link)
{
    remoteLink = link;
    connect(link, &RemoteLink::status, this, &MainWindow::showStatus);
    // Frames come again once the far end is back; until then a silence is
    // the broker's, and its own message stays.
    connect(link, &RemoteLink::ready, this, [this] { silenceWatch.connected(monotonicClock.elapsed()); });
    connect(link, &RemoteLink::captionsReceived, this, [this](const QStringList &captions) {
        for (int i = 0; i < positionCount && i < captions.size(); ++i)
            keys[static_cast<size_t>(i)]->setText(captions.at(i));
        publishSnapshot();
    });
}

void MainWindow::openRemoteLink()
{
    ui->actionConfigure->setEnabled(false);
    ui->actionConnect_to_TQX_5R->setEnabled(false);
    connectedPortName = remoteLink->name();
    receiver.reset();
    silenceWatch.connected(monotonicClock.elapsed());
    remoteLink->attach();
    publishSnapshot();
}

void MainWindow::closeLink()
{
    if (remoteLink)
        remoteLink->detach();
    else if (serialPort->isOpen())
        serialPort->close();
}

bool MainWindow::linkIsOpen() const
{
    return remoteLink ? remoteLink->isOpen() : serialPort->isOpen();
}

bool MainWindow::linkCanSend() const
{
    return remoteLink ? remoteLink->canSend() : serialPort->isOpen();
}

QIODevice *MainWindow::linkDevice() const
{
    if (remoteLink)
        return remoteLink;
    return serialPort;
}
