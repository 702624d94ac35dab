#include "link/ThreadLeitura.h"
#include "link/Transmitter.h"
#include "panel/MainWindow.h"
#include "panel/PanelState.h"
#include "settings/SettingsDialog.h"
#include "sim/VirtualSwitch.h"
#include "support/ModalDismisser.h"
#include "support/RequireChild.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

#include <sys/resource.h>

// The real window and poll thread talking to the virtual switch through a
// pseudo-terminal, paced at 9600 baud as on a real line.
namespace {

constexpr qint64 nsPerMs = 1000000;

bool isPoll(const QByteArray &frame) { return frame.startsWith("IGT3;"); }

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class tst_SerialLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectAsksForTheFirmwareFirst();
    void portNameIsShownAsTyped();
    void pollsAreSpacedByThePollThread();
    void queuedWordsLeaveInOrderWithoutPollsBetween();
    void wordQueuedWhileDisconnectedIsNeverSent();
    void disconnectAndReconnect();
    void openErrors_data();
    void openErrors();
    void vanishedDeviceGivesOneBoxAndGoesQuiet();
    void silentSwitchIsNotShownAsPowered();
    void functionKeyReachesTheSwitchAndItsAnswerIsPainted();
    void noFrameLostOnARaggedLine();
    void floodOfBytesIsBoundedAndSurvived();

private:
    template<typename T> T *child(const char *name) const { return requireChild<T>(window.get(), name); }
    SettingsDialog *settingsDialog() const;
    void connectToSwitch();
    QString statusText() const { return child<QStatusBar>("statusBar")->currentMessage(); }
    QList<QByteArray> framesFromPanel() const;

    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> pollThread;
};

void tst_SerialLink::initTestCase()
{
    MainWindow::registerMetaType();
}

void tst_SerialLink::init()
{
    panelState = PanelState();
    device = std::make_unique<VirtualSwitch>();
    QVERIFY2(device->start(), qPrintable(device->errorString()));
    window = std::make_unique<MainWindow>();
    window->show();
    pollThread = std::make_unique<ThreadLeitura>(window.get());
}

void tst_SerialLink::cleanup()
{
    pollThread->stop();
    pollThread.reset();
    window.reset();
    device.reset();
}

SettingsDialog *tst_SerialLink::settingsDialog() const
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            return dialog;
    }
    qFatal("no settings dialog");
}

void tst_SerialLink::connectToSwitch()
{
    settingsDialog()->selectCustomPort(device->devicePath());
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QVERIFY(statusText().startsWith("Connected to"));
}

QList<QByteArray> tst_SerialLink::framesFromPanel() const
{
    QList<QByteArray> frames;
    for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames())
        frames << frame.bytes;
    return frames;
}

void tst_SerialLink::connectAsksForTheFirmwareFirst()
{
    connectToSwitch();
    QCOMPARE(statusText(), QString("Connected to %1 : 9600, 8, None, 1, None").arg(device->devicePath()));
    QVERIFY(!child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
    QVERIFY(!child<QAction>("actionConfigure")->isEnabled());
    QVERIFY(child<QAction>("actionDisconnect")->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(device->receivedFrames().size() >= 2, 5000);
    QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelFWVersion")->text(), QString("FW Revision: 1.12"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
}

void tst_SerialLink::portNameIsShownAsTyped()
{
    // A "%" in a device name must not pick up the parameters meant for
    // the placeholders after it.
    QTemporaryDir dir;
    const QString link = dir.filePath("tqx%2%1");
    QVERIFY(QFile::link(device->devicePath(), link));
    settingsDialog()->selectCustomPort(link);
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QCOMPARE(statusText(), QString("Connected to %1 : 9600, 8, None, 1, None").arg(link));
}

void tst_SerialLink::pollsAreSpacedByThePollThread()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(device->receivedFrames().size() >= 12, 10000);
    QList<qint64> spacingMs;
    qint64 previous = -1;
    for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames()) {
        QVERIFY2(frame.bytes == "IGW;" || isPoll(frame.bytes), frame.bytes.toHex().constData());
        if (isPoll(frame.bytes)) {
            if (previous >= 0)
                spacingMs << (frame.firstByteNs - previous) / nsPerMs;
            previous = frame.firstByteNs;
        }
    }
    std::sort(spacingMs.begin(), spacingMs.end());
    const qint64 median = spacingMs.at(spacingMs.size() / 2);
    // The first 25 ms cycle past 150 ms: 175 ms with exact cycles, a little
    // over 150 ms when each sleep runs slightly long.
    QVERIFY2(median >= 145 && median <= 260, qPrintable(QString::number(median)));
    QVERIFY2(spacingMs.first() > 60, qPrintable(QString::number(spacingMs.first())));
}

void tst_SerialLink::queuedWordsLeaveInOrderWithoutPollsBetween()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(device->receivedFrames().size() >= 3, 5000);
    device->clearReceived();
    QTest::keyClick(window.get(), Qt::Key_F2);
    QTest::keyClick(window.get(), Qt::Key_F3);
    QTest::keyClick(window.get(), Qt::Key_F4);
    QTRY_VERIFY_WITH_TIMEOUT(framesFromPanel().count(QByteArray("IGS3;\0\0", 7)) == 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(isPoll(framesFromPanel().last()), 5000);

    const QList<VirtualSwitch::ReceivedFrame> frames = device->receivedFrames();
    QList<int> commandAt;
    for (int i = 0; i < frames.size(); ++i) {
        if (frames[i].bytes.startsWith("IGS"))
            commandAt << i;
    }
    QCOMPARE(commandAt.size(), 3);
    QCOMPARE(commandAt[1], commandAt[0] + 1);
    QCOMPARE(commandAt[2], commandAt[1] + 1);
    QCOMPARE(frames[commandAt[0]].bytes.left(5), QByteArray("IGS1;"));
    QCOMPARE(frames[commandAt[1]].bytes.left(5), QByteArray("IGS2;"));
    QCOMPARE(frames[commandAt[2]].bytes.left(5), QByteArray("IGS3;"));
    // Two spacings of more than 100 ms each; a late delivery may shorten one
    // and lengthen the next, so the span is what is checked.
    const qint64 spanMs = (frames[commandAt[2]].firstByteNs - frames[commandAt[0]].firstByteNs) / nsPerMs;
    QVERIFY2(spanMs > 160, qPrintable(QString::number(spanMs)));
    const VirtualSwitch::ReceivedFrame &nextPoll = frames[commandAt[2] + 1];
    QVERIFY(isPoll(nextPoll.bytes));
    QVERIFY((nextPoll.firstByteNs - frames[commandAt[2]].firstByteNs) / nsPerMs > 90);
}

void tst_SerialLink::wordQueuedWhileDisconnectedIsNeverSent()
{
    QTest::keyClick(window.get(), Qt::Key_F6);
    QCOMPARE(window->queuedCommands().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(window->queuedCommands().isEmpty(), 3000);
    connectToSwitch();
    QTest::qWait(800);
    for (const QByteArray &frame : framesFromPanel())
        QVERIFY2(frame == "IGW;" || isPoll(frame), frame.toHex().constData());
    QVERIFY(framesFromPanel().size() >= 3);
}

void tst_SerialLink::disconnectAndReconnect()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);
    child<QAction>("actionDisconnect")->trigger();
    QCOMPARE(statusText(), QString("Disconnected"));
    QVERIFY(!child<QRadioButton>("power")->isChecked());
    QVERIFY(child<QRadioButton>("rotor1")->isChecked());
    QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
    QVERIFY(child<QAction>("actionConfigure")->isEnabled());

    // Disconnecting twice is harmless.
    child<QAction>("actionDisconnect")->trigger();
    QCOMPARE(statusText(), QString("Disconnected"));

    device->clearReceived();
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!device->receivedFrames().isEmpty(), 5000);
    QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
}

void tst_SerialLink::openErrors_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("customBaudZero");
    QTest::newRow("missing port") << "/dev/tqx5r-no-such-port" << false;
    QTest::newRow("empty custom port") << "" << false;
    QTest::newRow("custom baud rate 0") << "" << true;
}

void tst_SerialLink::openErrors()
{
    QFETCH(QString, port);
    QFETCH(bool, customBaudZero);

    SettingsDialog *dialog = settingsDialog();
    if (customBaudZero) {
        auto *baud = dialog->findChild<QComboBox *>("baudRateBox");
        baud->setCurrentIndex(4);
        QTest::mouseClick(dialog->findChild<QPushButton *>("applyButton"), Qt::LeftButton);
        port = device->devicePath();
    }
    dialog->selectCustomPort(port);
    QCOMPARE(dialog->serialSettings().baudRate, customBaudZero ? 0 : 9600);

    ModalDismisser dismisser;
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QCOMPARE(dismisser.titles(), QStringList{"Error"});
    QVERIFY(!dismisser.texts().first().isEmpty());
    if (customBaudZero)
        QCOMPARE(dismisser.texts().first(), QString("Invalid baud rate value"));
    QCOMPARE(statusText(), QString("Open error"));
    QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
    QVERIFY(child<QAction>("actionConfigure")->isEnabled());
    QTest::qWait(300);
    QVERIFY(device->receivedBytes().isEmpty());
}

void tst_SerialLink::vanishedDeviceGivesOneBoxAndGoesQuiet()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);

    ModalDismisser dismisser;
    device->vanish();
    QTRY_VERIFY_WITH_TIMEOUT(dismisser.count() >= 1, 5000);
    QTest::qWait(300);
    QCOMPARE(dismisser.titles(), QStringList{"Critical Error"});
    QVERIFY2(dismisser.texts().first().startsWith(QString("The connection to %1 was lost: ").arg(device->devicePath())),
             qPrintable(dismisser.texts().first()));
    QCOMPARE(statusText(), QString("Disconnected"));
    QVERIFY(!child<QRadioButton>("power")->isChecked());
    QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());

    // The panel goes quiet: no error storm keeps a core busy.
    const double before = cpuSeconds();
    QTest::qWait(1000);
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 0.25, qPrintable(QString("%1 s of CPU in 1 s").arg(used)));
    QCOMPARE(dismisser.count(), 1);
}

void tst_SerialLink::silentSwitchIsNotShownAsPowered()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);
    device->setAnswering(false);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 6000);
    QVERIFY(!child<QRadioButton>("power")->isChecked());
    // Nothing else is reset.
    QVERIFY(child<QRadioButton>("rotor1")->isChecked());

    device->setAnswering(true);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    QCOMPARE(statusText(), QString("No answer from TQX-5R"));
}

void tst_SerialLink::functionKeyReachesTheSwitchAndItsAnswerIsPainted()
{
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);
    device->clearReceived();
    QTest::keyClick(window.get(), Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(framesFromPanel().contains(QByteArray("IGS4;\0\0", 7)), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(device->state().position, quint8(4), 5000);

    // Let the switch move on by itself; the panel follows after a poll.
    SwitchState moved = device->state();
    moved.position = 6;
    moved.busyMask = 0xFD;
    device->setState(moved);
    auto keyColour = [this](const char *name) {
        const QImage image = child<QPushButton>(name)->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    QTRY_COMPARE_WITH_TIMEOUT(keyColour("botaoTecla7"), QColor(254, 237, 137), 5000);
    QVERIFY(keyColour("botaoTecla5") != QColor(254, 237, 137));
    QVERIFY(child<QRadioButton>("busy2")->isChecked());
}

void tst_SerialLink::noFrameLostOnARaggedLine()
{
    device->setSplitFrames(4);
    device->setGarbageRate(0.3);
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(device->statusFramesSent() >= 15, 15000);
    device->setAnswering(false);
    QTest::qWait(400);
    QCOMPARE(window->framesReceived(), qint64(device->statusFramesSent() + 1));
}

void tst_SerialLink::floodOfBytesIsBoundedAndSurvived()
{
    VirtualSwitch::Options unpaced;
    unpaced.baudRate = 0;
    device = std::make_unique<VirtualSwitch>(unpaced);
    QVERIFY(device->start());
    connectToSwitch();
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);

    device->sendRaw(QByteArray(512 * 1024, 'I'));
    qint64 mostBuffered = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        mostBuffered = std::max(mostBuffered, serialPort->bytesAvailable());
    }
    QVERIFY2(mostBuffered <= MainWindow::portReadBufferBytes + 4096, qPrintable(QString::number(mostBuffered)));

    // Once the flood has passed, the switch is heard again.
    SwitchState moved = device->state();
    moved.rotor = 3;
    device->setState(moved);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor3")->isChecked(), 30000);
}

QTEST_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
