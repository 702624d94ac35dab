#pragma once

#include "link/FrameReceiver.h"
#include "link/Protocol.h"
#include "link/SilenceWatch.h"
#include "panel/OperatorCommands.h"
#include "panel/PanelState.h"
#include "settings/SerialSettings.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QSerialPort>

#include <array>
#include <atomic>

class LinkLossHandler;
class PanelKeyboard;
class QPushButton;
class QRadioButton;
class RemoteLink;
class SettingsDialog;
class SwitchSeam;

namespace Ui {
class mainWindow;
}

// The control panel: menus, the antenna keys and the indicators that mirror
// the switch. The poll thread drives its traffic through the three public
// slots; everything else here runs on the GUI thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr qint64 portReadBufferBytes = 64 * 1024;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Lets the poll thread invoke callReceber with a window argument.
    static void registerMetaType();

    // Safe to call from the poll thread.
    bool commandQueueIsEmpty() const { return queuedWordCount.load() == 0; }
    QList<CommandWord> queuedCommands() const { return commandQueue; }
    qint64 framesReceived() const { return receiver.framesDispatched(); }

    // Where band follow, the broker bridge and the like meet the panel.
    SwitchSeam *seam() const { return switchSeam; }

    // Connects to a port named on the command line, as if the operator had
    // typed it as a custom port and chosen "Connect to TQX-5R". With a remote
    // link, attaches that instead.
    void connectAtStart(const QString &portName);
    // Puts portName in the settings as a typed custom port, with the line
    // parameters as they are.
    void useCustomPort(const QString &portName);

    // Hands device losses to handler instead of the "Critical Error" box;
    // nullptr brings the box back. The handler is not owned.
    void setLinkLossHandler(LinkLossHandler *handler) { lossHandler = handler; }
    // The port and line parameters "Connect to TQX-5R" would use now.
    SerialSettings serialSettings() const;
    // Opens the port with p as "Connect to TQX-5R" does, except that a
    // failure shows no box and leaves the status bar alone.
    bool openSerialPortQuietly(const SerialSettings &p);
    void showStatus(const QString &message);

    // Makes this a remote panel: the switch is reached through link, never
    // through a serial port. Call before the window is shown.
    void useRemoteLink(RemoteLink *link);

public slots:
    void callEnviar();
    void callReceber(MainWindow *w);
    void callEnvioFila();

private slots:
    void openSerialPort();
    void closeSerialPort();
    void readData();
    void handleError(QSerialPort::SerialPortError error);
    void processaPacoteRecebido(MainWindow *w);
    void processaPDR(MainWindow *w);
    void enviaComutacao(qint8 pos);
    void atualizaTeclas(qint8 *pos);
    void on_botaoTecla1_clicked();
    void on_botaoTecla2_clicked();
    void on_botaoTecla3_clicked();
    void on_botaoTecla4_clicked();
    void on_botaoTecla5_clicked();
    void on_botaoTecla6_clicked();
    void on_botaoTecla7_clicked();
    void on_botaoTecla8_clicked();
    void on_power_clicked();
    void on_rotor1_clicked();
    void on_rotor2_clicked();
    void on_rotor3_clicked();
    void on_rotor4_clicked();
    void on_split_clicked();
    void on_superSplit_clicked();
    void on_actionAbout_triggered();
    void on_actionAbout_Veltrix_triggered();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void loadAntennaLabels();
    void selectRotor(int n);
    void updateSuperSplitIndicator();
    void showFirmwareRevision(quint8 major, quint8 minor);
    void applyEffects(const OperatorCommands::Effects &effects);
    void queueCommand(CommandWord word);
    void checkForSilence();
    void heardFromSwitch();
    PanelDisplay currentDisplay() const;
    void showDisplay(const PanelDisplay &display);
    void publishSnapshot();
    void openRemoteLink();
    void closeLink();
    bool linkIsOpen() const;
    // Open, and for a remote link the way to the far end standing.
    bool linkCanSend() const;
    QIODevice *linkDevice() const;

    QList<CommandWord> commandQueue;
    Ui::mainWindow *ui;
    SettingsDialog *settings;

    std::atomic<int> queuedWordCount{0};
    FrameReceiver receiver;
    std::array<QPushButton *, positionCount> keys{};
    std::array<QRadioButton *, positionCount> busyIndicators{};
    std::array<QRadioButton *, rotorCount> rotorIndicators{};
    KeyLooks keyLooks{};
    QString connectedPortName;
    QElapsedTimer monotonicClock;
    SilenceWatch silenceWatch;
    bool firmwareKnown = false;
    quint8 firmwareMajor = 0;
    quint8 firmwareMinor = 0;
    SwitchSeam *switchSeam = nullptr;
    LinkLossHandler *lossHandler = nullptr;
    bool closingLostPort = false;
    RemoteLink *remoteLink = nullptr;
    PanelKeyboard *keyboard = nullptr;
};
