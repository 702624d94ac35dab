#include "link/Transmitter.h"
#include "panel/SwitchSeam.h"
#include "settings/SettingsDialog.h"
#include "support/LinkedPanel.h"
#include "support/ModalDismisser.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The real window and poll thread talking to the virtual switch through a
// pseudo-terminal, paced at 9600 baud as on a real line.
class tst_SerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { rig.reset(); }

    void connectDisconnectAndConnectAgain()
    {
        // A "%" in a device name must not pick up the parameters meant for the
        // placeholders after it.
        QTemporaryDir dir;
        const QString link = dir.filePath("tqx%2%1");
        QVERIFY(QFile::link(device->devicePath(), link));
        rig->panel.connectTo(link);
        QCOMPARE(statusText(), QString("Connected to %1 : 9600, 8, None, 1, None").arg(link));
        QVERIFY(!child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
        QVERIFY(!child<QAction>("actionConfigure")->isEnabled());
        QVERIFY(child<QAction>("actionDisconnect")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(device->receivedFrames().size() >= 2, 5000);
        QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelFWVersion")->text(), QString("FW Revision: 1.12"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);

        // Opened through a link, the port is locked under the device's own
        // name, where another program looks: it cannot open the device.
        QSerialPort other(device->devicePath());
        QVERIFY(!other.open(QIODevice::ReadWrite));
        QCOMPARE(other.error(), QSerialPort::PermissionError);

        // Disconnecting (twice is harmless) puts POWER out and nothing else.
        for (int twice = 0; twice < 2; ++twice) {
            child<QAction>("actionDisconnect")->trigger();
            QCOMPARE(statusText(), QString("Disconnected"));
        }
        QVERIFY(!child<QRadioButton>("power")->isChecked());
        QVERIFY(child<QRadioButton>("rotor1")->isChecked());
        QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
        QVERIFY(child<QAction>("actionConfigure")->isEnabled());
        // And the lock goes with the port.
        QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
        other.close();

        device->clearReceived();
        child<QAction>("actionConnect_to_TQX_5R")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!device->receivedFrames().isEmpty(), 5000);
        QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
    }

    void pollsGoOnAcrossAClockStep()
    {
        // The clock the thread paces by is set back an hour soon after it starts.
        rig->pollThread->stop();
        QElapsedTimer sinceStart;
        sinceStart.start();
        rig->pollThread = std::make_unique<ThreadLeitura>(window, [sinceStart] {
            const qint64 now = ThreadLeitura::monotonicClock();
            return sinceStart.elapsed() > 300 ? now - 3600 * 1000 : now;
        });
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(sinceStart.elapsed() > 400, 5000);
        device->clearReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= 3, 5000);
        QTest::keyClick(window, Qt::Key_F4);
        QTRY_VERIFY_WITH_TIMEOUT(rig->framesFromPanel().contains(QByteArray("IGS3;\0\0", 7)), 5000);
    }

    void keysReachTheSwitchInOrderAndItsAnswerIsPainted()
    {
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= 1, 5000);
        for (Qt::Key key : {Qt::Key_F2, Qt::Key_F3, Qt::Key_F5})
            QTest::keyClick(window, key);
        // One frame a word, oldest first, and the next poll only after the last.
        QByteArray heads;
        QTRY_VERIFY_WITH_TIMEOUT((heads = frameHeads()).contains("IGS4; IGT3;"), 5000);
        QVERIFY2(heads.contains("IGS1; IGS2; IGS4; IGT3;"), heads.constData());
        QVERIFY(rig->framesFromPanel().contains(QByteArray("IGS4;\0\0", 7)));
        QTRY_COMPARE_WITH_TIMEOUT(device->state().position, quint8(4), 5000);

        // Let the switch move on by itself; the panel follows after a poll.
        SwitchState moved = device->state();
        moved.position = 6;
        moved.busyMask = 0xFD;
        device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(rig->panel.keyColour(7), QColor(254, 237, 137), 5000);
        QVERIFY(rig->panel.keyColour(5) != QColor(254, 237, 137));
        QVERIFY(child<QRadioButton>("busy2")->isChecked());
    }

    // Words from the broker or band follow leave with a poll between each
    // two, so a flood of them cannot starve the polls; the operator's keys
    // keep their pacing, no poll while their words wait.
    void featureWordsLetThePollsThrough()
    {
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= 1, 5000);
        device->clearReceived();
        for (int position : {1, 2, 4})
            QVERIFY(window->seam()->queueWord(Protocol::selectWord(position)));
        QTest::keyClick(window, Qt::Key_F6);
        QTest::keyClick(window, Qt::Key_F7);
        QByteArray heads;
        QTRY_VERIFY_WITH_TIMEOUT((heads = frameHeads()).contains("IGS6; IGT3;"), 5000);
        QVERIFY2(heads.startsWith("IGS1; IGT3; IGS2; IGT3; IGS4; IGS5; IGS6; IGT3;"), heads.constData());
    }

    // Band follow's select waits at the seam and goes only when its guard,
    // asked as the word is written, allows it.
    void guardedWordLeavesOnlyWhenItsGuardAllows()
    {
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= 1, 5000);
        bool allowed = false;
        QList<CommandWord> left;
        window->seam()->setGuard({[&allowed] { return allowed; }, [&left](CommandWord word) { left << word; }});
        window->seam()->placeGuardedWord(Protocol::selectWord(3));
        window->seam()->setGuardedWordReady(true);
        // Asked and refused: it stays, no longer ready, and polls go on.
        QTRY_VERIFY_WITH_TIMEOUT(!window->seam()->guardedWordReady(), 5000);
        const int polls = rig->pollsReceived();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= polls + 3, 5000);
        QVERIFY(window->seam()->guardedWord().has_value());
        QVERIFY(commandsAt(*device).isEmpty());

        allowed = true;
        window->seam()->setGuardedWordReady(true);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAt(*device), QList<QByteArray>{QByteArray("IGS3;\0\0", 7)}, 5000);
        QCOMPARE(left, QList<CommandWord>{Protocol::selectWord(3)});
        QVERIFY(!window->seam()->guardedWord().has_value());
        window->seam()->setGuard({});
    }

    void wordQueuedWhileDisconnectedIsNeverSent()
    {
        QTest::keyClick(window, Qt::Key_F6);
        QCOMPARE(window->queuedCommands().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(window->queuedCommands().isEmpty(), 3000);
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(rig->pollsReceived() >= 3, 5000);
        for (const QByteArray &frame : rig->framesFromPanel())
            QVERIFY2(frame == "IGW;" || isPoll(frame), frame.toHex().constData());
    }

    void openErrors_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("customBaudZero");
        QTest::newRow("missing port") << "/dev/tqx5r-no-such-port" << false;
        QTest::newRow("custom baud rate 0") << "" << true;
    }
    void openErrors()
    {
        QFETCH(QString, port);
        QFETCH(bool, customBaudZero);

        SettingsDialog *dialog = PanelDriver::settingsDialog();
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
        QCOMPARE(dismisser.texts().first(), customBaudZero ? "Invalid baud rate value" : "No such file or directory");
        QCOMPARE(statusText(), QString("Open error"));
        QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
        QVERIFY(child<QAction>("actionConfigure")->isEnabled());
        QTest::qWait(200);
        QVERIFY(device->receivedBytes().isEmpty());
    }

    void silenceIsReportedEachTime()
    {
        // Watched from the connect on: a switch that never answers is reported.
        device->setAnswering(false);
        connectToSwitch();
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 6000);
        // An outage after it recovered is reported again; nothing but POWER is reset.
        device->setAnswering(true);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);
        child<QStatusBar>("statusBar")->clearMessage();
        device->setAnswering(false);
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 6000);
        QVERIFY(!child<QRadioButton>("power")->isChecked());
        QVERIFY(child<QRadioButton>("rotor1")->isChecked());
    }

    void firmwareAnswerCountsAsAnAnswer()
    {
        device->setAnsweringPolls(false);
        device->setFirmwareDelay(1900);
        connectToSwitch();
        const QString firmware("Connected! Firmware Revision: 1 . 12");
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), firmware, 5000);
        QTest::qWait(1000);
        QCOMPARE(statusText(), firmware);
        // Polls still unanswered: two seconds after the firmware frame it tells.
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 5000);
    }

    void splitAndSuperSplitReachTheSwitch()
    {
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor1")->isChecked(), 5000);
        device->clearReceived();
        QTest::mouseClick(child<QRadioButton>("split"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("botaoTecla3"), Qt::LeftButton);
        QCOMPARE(statusText(), QString("Split configured succesfuly!"));
        QTest::mouseClick(child<QRadioButton>("superSplit"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("botaoTecla2"), Qt::LeftButton);
        QTest::mouseClick(child<QRadioButton>("superSplit"), Qt::LeftButton);
        QCOMPARE(statusText(), QString("Super Split configured succesfully!"));
        // The split frame leaves "1;" behind, and the group frame carries them.
        QTRY_VERIFY_WITH_TIMEOUT(rig->framesFromPanel().contains(QByteArray("IGQ\x02;1;", 7)), 5000);
        QVERIFY(rig->framesFromPanel().contains(QByteArray("IGP021;", 7)));
    }

    // A status frame is twelve bytes a millisecond apart. The port is read
    // when the receive step asks, not woken for every byte as it comes.
    void lineIsReadPerStepNotPerByte()
    {
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
        int arrivals = 0;
        QObject::connect(serialPort, &QIODevice::readyRead, serialPort, [&arrivals] { ++arrivals; });
        const qint64 framesBefore = window->framesReceived();
        QTest::qWait(1500);
        const qint64 frames = window->framesReceived() - framesBefore;
        QVERIFY2(frames >= 5, qPrintable(QString::number(frames)));
        QVERIFY2(arrivals <= 2 * frames + 2, qPrintable(QString("%1 arrivals for %2 frames").arg(arrivals).arg(frames)));
    }

    void noFrameLostOnARaggedLine()
    {
        device->setSplitFrames(4);
        device->setGarbageRate(0.3);
        connectToSwitch();
        QTRY_VERIFY_WITH_TIMEOUT(device->statusFramesSent() >= 15, 15000);
        device->setAnswering(false);
        QTRY_COMPARE_WITH_TIMEOUT(window->framesReceived(), qint64(device->statusFramesSent() + 1), 5000);
    }

    void floodOfBytesIsBoundedAndSurvived()
    {
        VirtualSwitch::Options unpaced;
        unpaced.baudRate = 0;
        setUp(unpaced);
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
        QVERIFY2(mostBuffered <= FrameReceiver::portBufferBytes + 4096, qPrintable(QString::number(mostBuffered)));

        // Once the flood has passed, the switch is heard again.
        SwitchState moved = device->state();
        moved.rotor = 3;
        device->setState(moved);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("rotor3")->isChecked(), 30000);
    }

private:
    // The commands the switch read, whole.
    static QList<QByteArray> commandsAt(const VirtualSwitch &device)
    {
        QList<QByteArray> commands;
        for (const VirtualSwitch::ReceivedFrame &frame : device.receivedFrames()) {
            if (frame.bytes != "IGW;" && !isPoll(frame.bytes))
                commands << frame.bytes;
        }
        return commands;
    }

    void setUp(const VirtualSwitch::Options &options = {})
    {
        rig.reset();
        rig = std::make_unique<LinkedPanel>(options);
        device = rig->device.get();
        window = rig->window.get();
    }

    template<typename T> T *child(const char *name) const { return rig->panel.child<T>(name); }
    void connectToSwitch()
    {
        rig->connect();
        QVERIFY(statusText().startsWith("Connected to"));
    }

    QString statusText() const { return rig->panel.statusText(); }
    // The first five bytes of each frame from the panel, in order.
    QByteArray frameHeads() const
    {
        QByteArray heads;
        for (const QByteArray &frame : rig->framesFromPanel())
            heads += frame.left(5) + ' ';
        return heads;
    }

    std::unique_ptr<LinkedPanel> rig;
    VirtualSwitch *device = nullptr;
    MainWindow *window = nullptr;
};

QTEST_MAIN(tst_SerialLink)
#include "tst_seriallink.moc"
