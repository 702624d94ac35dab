#pragma once

#include "link/CommandQueue.h"
#include "link/LinkPump.h"
#include "link/LinkSession.h"
#include "link/Protocol.h"
#include "panel/OperatorCommands.h"
#include "panel/PanelState.h"
#include "panel/SwitchSnapshot.h"
#include "settings/SerialSettings.h"

#include <QMainWindow>
#include <QSerialPort>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class PanelKeyboard;
class PanelView;
class QAction;
class QMenu;
class QPushButton;
class QRadioButton;
class SettingsDialog;
class SwitchLink;
class SwitchSeam;

namespace Ui {
class mainWindow;
}

// The control panel: menus, the antenna keys and the indicators that mirror
// the switch. The poll thread drives its traffic through the three public
// slots; everything else here runs on the GUI thread. The switch is reached
// through one link: the serial port unless another is given.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int maxQueuedWords = CommandQueue::maxWords;

    // The Station menu's entries, for the code that sets the station up.
    struct StationActions
    {
        QMenu *menu;
        QAction *bandFollow;
        QAction *bandFollowSettings;
        QAction *reconnect;
        QAction *connectAtStart;
        QAction *brokerSettings;
        QAction *antennaCaptions;
        QAction *antennaBands;
    };

    // Shows a failure the operator must acknowledge ("Error", "Critical Error").
    using CriticalMessage = std::function<void(const QString &title, const QString &text)>;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Lets the poll thread invoke callReceber with a window argument.
    static void registerMetaType();

    // Safe to call from the poll thread. True when no word may go at the
    // next send turn, so a poll may (see CommandQueue).
    bool commandQueueIsEmpty() const { return !pump.wordWaiting(); }
    // Safe to call from the poll thread: whether the receive step has
    // something to do, bytes having come or a silence to look for; when it
    // next will; and from when a feature wants a fresh status.
    bool receiveWanted() { return pump.receiveWanted(); }
    std::optional<qint64> receiveDueInMs() const { return pump.receiveDueInMs(); }
    std::optional<qint64> statusWantedAtMs() const { return pump.statusWantedAtMs(); }
    // How the poll thread is woken when something becomes due; empty when
    // none runs. Set and cleared on the GUI thread; only the thread that
    // set the waker takes it away.
    void setPollThreadWaker(const void *thread, std::function<void()> waker) { pump.setWaker(thread, std::move(waker)); }
    void clearPollThreadWaker(const void *thread) { pump.clearWaker(thread); }
    QList<CommandWord> queuedCommands() const { return commandQueue.words(); }
    qint64 framesReceived() const { return pump.framesReceived(); }

    // Where band follow, the broker bridge and the like meet the panel.
    SwitchSeam *seam() const { return switchSeam; }
    StationActions stationActions() const;

    // Reaches the switch through link instead of the serial port (a remote
    // panel). Call before the window is shown; the window does not own it.
    void setLink(SwitchLink *link);
    bool linkIsOpen() const;

    // Connects to a port named on the command line, as if the operator had
    // typed it as a custom port and chosen "Connect to TQX-5R". With another
    // link, opens that instead.
    void connectAtStart(const QString &portName);
    SettingsDialog *serialSettingsDialog() const { return settings; }

    // Opening and closing the link, for whoever takes over when the device
    // goes away (its loss handler replaces the "Critical Error" box).
    LinkSession *linkSession() const { return session; }
    // Shows the error boxes some other way (a panel without a screen).
    void setCriticalMessage(CriticalMessage show) { criticalMessage = std::move(show); }
    // The port and line parameters "Connect to TQX-5R" would use now.
    SerialSettings serialSettings() const;
    // Closes the port as "Disconnect" does, except that the status bar is
    // left alone and the loss handler is not told.
    void closeSerialPortQuietly();
    // A status bar message; detail, when there is more to say (paths and
    // reasons), goes in the status bar's tooltip and accessible description.
    void showStatus(const QString &message, const QString &detail = QString());
    // The keys' captions; an empty caption leaves a key blank.
    void setCaptions(const QStringList &captions);
    QStringList captions() const;

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
    bool event(QEvent *event) override;

private:
    void loadAntennaLabels();
    // "Connect to TQX-5R"; a failure's box names the port when asked.
    void openPort(bool namePort);
    void critical(const QString &title, const QString &text);
    void selectRotor(int n);
    void updateSuperSplitIndicator();
    void showFirmwareRevision(quint8 major, quint8 minor);
    void applyEffects(const OperatorCommands::Effects &effects);
    // Takes the state a command leads to and carries out its effects, unless
    // the seam's word check refuses its words; false then.
    bool applyChecked(const PanelState &after, const OperatorCommands::Effects &effects);
    bool queueCommand(CommandWord word, CommandQueue::Origin origin = CommandQueue::Origin::Operator);
    void switchSilent();
    void linkOpened(const QString &message);
    void linkClosed();
    void heardFromSwitch();
    PanelDisplay currentDisplay() const;
    void showDisplay(const PanelDisplay &display);
    void publishSnapshot();
    // Open, and the way to the switch standing.
    bool linkCanSend() const;

    CommandQueue commandQueue;
    Ui::mainWindow *ui;
    SettingsDialog *settings;

    LinkPump pump;
    LinkSession *session = nullptr;
    std::unique_ptr<PanelView> view;
    SwitchReport lastReport;
    bool firmwareKnown = false;
    quint8 firmwareMajor = 0;
    quint8 firmwareMinor = 0;
    SwitchSeam *switchSeam = nullptr;
    bool closingLostPort = false;
    bool sayingDisconnected = false;
    SwitchLink *serialLink = nullptr;
    SwitchLink *link = nullptr;
    CriticalMessage criticalMessage;
    PanelKeyboard *keyboard = nullptr;
};
