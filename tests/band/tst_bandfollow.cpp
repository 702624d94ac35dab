#include "band/BandFollow.h"
#include "band/BandFollower.h"
#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "panel/PanelState.h"
#include "panel/SwitchSeam.h"
#include "sim/DummyRig.h"
#include "sim/VirtualSwitch.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

// Band follow end to end: the real rigctld with Hamlib's dummy radio, a
// logger's UDP packet, the real window and poll thread, and the virtual
// switch at the far end of a pseudo-terminal.
class tst_BandFollow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void followsTheRigAndLearnsFromTheFrontPanel();
    void followsALoggerBroadcast();
    void absentRigIsReportedOnceAndFollowedWhenItAnswers();
    void panelStartedWithTheOptions();

private:
    void startFollowing(const BandFollowSettings &settings);
    HamlibSettings rigctldAt(const QString &address) const;
    QList<QByteArray> selectsAtSwitch() const;
    int pollsAtSwitch() const;
    void moveFrontPanel(int position, bool sending = false);
    QString memoryText() const;
    quint16 freeUdpPort() const;
    void sendRadioInfo(quint16 port, int tensOfHz) const;

    QTemporaryDir dir;
    QString memoryPath;
    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> pollThread;
    std::unique_ptr<BandFollow> follow;
    std::unique_ptr<QSignalSpy> statusTexts;
};

void tst_BandFollow::initTestCase()
{
    MainWindow::registerMetaType();
    // Nothing may reach the real home folder.
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
}

void tst_BandFollow::init()
{
    memoryPath = dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentTestFunction()));
    panelState = PanelState();
    device = std::make_unique<VirtualSwitch>();
    QVERIFY2(device->start(), qPrintable(device->errorString()));
    window = std::make_unique<MainWindow>();
    window->show();
    pollThread = std::make_unique<ThreadLeitura>(window.get());
    window->connectAtStart(device->devicePath());
    QTRY_VERIFY(window->seam()->snapshot().power);
}

void tst_BandFollow::cleanup()
{
    statusTexts.reset();
    follow.reset();
    if (pollThread)
        pollThread->stop();
    pollThread.reset();
    window.reset();
    device.reset();
}

void tst_BandFollow::startFollowing(const BandFollowSettings &settings)
{
    statusTexts.reset();
    follow = std::make_unique<BandFollow>(settings, window->seam());
    statusTexts = std::make_unique<QSignalSpy>(follow.get(), &BandFollow::statusText);
}

HamlibSettings tst_BandFollow::rigctldAt(const QString &address) const
{
    HamlibSettings rig;
    rig.model = HamlibSettings::rigctldModel;
    rig.file = address;
    return rig;
}

QList<QByteArray> tst_BandFollow::selectsAtSwitch() const
{
    QList<QByteArray> selects;
    for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames()) {
        if (frame.bytes.startsWith("IGS"))
            selects << frame.bytes.left(5);
    }
    return selects;
}

int tst_BandFollow::pollsAtSwitch() const
{
    int polls = 0;
    for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames())
        polls += frame.bytes.startsWith("IGT3;") ? 1 : 0;
    return polls;
}

void tst_BandFollow::moveFrontPanel(int position, bool sending)
{
    SwitchState state = device->state();
    state.position = static_cast<quint8>(position);
    state.sending = sending;
    device->setState(state);
    QTRY_VERIFY(window->seam()->snapshot().position == position && window->seam()->snapshot().send == sending);
}

QString tst_BandFollow::memoryText() const
{
    QFile file(memoryPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

quint16 tst_BandFollow::freeUdpPort() const
{
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::LocalHost), 0) ? probe.localPort() : 0;
}

void tst_BandFollow::sendRadioInfo(quint16 port, int tensOfHz) const
{
    QUdpSocket logger;
    logger.writeDatagram(QStringLiteral("<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr>"
                                        "<Freq>%1</Freq><IsTransmitting>False</IsTransmitting></RadioInfo>")
                             .arg(tensOfHz)
                             .toUtf8(),
                         QHostAddress::LocalHost, port);
}

void tst_BandFollow::followsTheRigAndLearnsFromTheFrontPanel()
{
    DummyRig rig;
    QVERIFY2(rig.start(), qPrintable(rig.errorString()));
    BandFollowSettings settings;
    settings.rig = rigctldAt(rig.address());
    settings.memoryPath = memoryPath;
    startFollowing(settings);

    // Learned from the switch's own front panel, one band after the other.
    QVERIFY(rig.setFrequency(14200000));
    QTRY_COMPARE(follow->follower()->band(), QString("20m"));
    moveFrontPanel(2);
    QTRY_VERIFY(memoryText().contains("20m=3"));
    QVERIFY(rig.setFrequency(7100000));
    QTRY_COMPARE(follow->follower()->band(), QString("40m"));
    moveFrontPanel(4);
    QTRY_VERIFY(memoryText().contains("40m=5"));
    QVERIFY(selectsAtSwitch().isEmpty());

    // Back on 20 m: the switch gets Ant 3, as F3 would have sent it.
    QVERIFY(rig.setFrequency(14200000));
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS2;"});
    QTRY_COMPARE(window->seam()->snapshot().position, quint8(2));
    QVERIFY(statusTexts->contains(QVariantList{"20 m: Ant 3"}));

    // SEND on: the band change waits until the switch stops sending.
    moveFrontPanel(2, true);
    device->clearReceived();
    QVERIFY(rig.setFrequency(7100000));
    QTRY_COMPARE(follow->follower()->band(), QString("40m"));
    QTRY_VERIFY(pollsAtSwitch() >= 3);
    QVERIFY(selectsAtSwitch().isEmpty());
    moveFrontPanel(2, false);
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS4;"});

    // The radio's own PTT holds it the same way.
    QTRY_COMPARE(window->seam()->snapshot().position, quint8(4));
    device->clearReceived();
    QVERIFY(rig.setPtt(true));
    QVERIFY(rig.setFrequency(14200000));
    QTRY_COMPARE(follow->follower()->band(), QString("20m"));
    QTRY_VERIFY(pollsAtSwitch() >= 3);
    QVERIFY(selectsAtSwitch().isEmpty());
    QVERIFY(rig.setPtt(false));
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS2;"});
    QVERIFY(memoryText().contains("20m=3") && memoryText().contains("40m=5"));

    // A restart reads what was learned.
    follow.reset();
    QTRY_COMPARE(window->seam()->snapshot().position, quint8(2));
    QVERIFY(rig.setFrequency(7100000));
    device->clearReceived();
    startFollowing(settings);
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS4;"});
}

void tst_BandFollow::followsALoggerBroadcast()
{
    QFile memory(memoryPath);
    QVERIFY(memory.open(QIODevice::WriteOnly));
    memory.write("[General]\n20m=3\n");
    memory.close();

    BandFollowSettings settings;
    settings.loggerPorts = {freeUdpPort()};
    settings.memoryPath = memoryPath;
    startFollowing(settings);
    sendRadioInfo(settings.loggerPorts.first(), 1420000);
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS2;"});
}

void tst_BandFollow::absentRigIsReportedOnceAndFollowedWhenItAnswers()
{
    DummyRig rig;
    QVERIFY2(rig.start(), qPrintable(rig.errorString()));
    const quint16 port = rig.port();
    rig.stop();

    BandFollowSettings settings;
    settings.rig = rigctldAt(rig.address());
    settings.rig->retryMs = 100;
    settings.memoryPath = memoryPath;
    startFollowing(settings);
    const QVariantList notAnswering{"Rig not answering"};
    QTRY_COMPARE(statusTexts->count(), 1);
    QCOMPARE(statusTexts->first(), notAnswering);

    // It comes up later: the next try finds it.
    QVERIFY2(rig.start(port), qPrintable(rig.errorString()));
    QVERIFY(rig.setFrequency(14200000));
    QTRY_COMPARE(follow->follower()->band(), QString("20m"));
    QCOMPARE(statusTexts->count(), 2);
    QCOMPARE(statusTexts->last(), QVariantList{"Rig answering again"});

    // It goes away: said once more, however many tries fail.
    rig.stop();
    QTRY_COMPARE(statusTexts->count(), 3);
    QCOMPARE(statusTexts->last(), notAnswering);
    QTest::qWait(5 * settings.rig->retryMs);
    QCOMPARE(statusTexts->count(), 3);
}

void tst_BandFollow::panelStartedWithTheOptions()
{
    // The window of this test lets go of the switch; the panel process takes it.
    cleanup();
    device = std::make_unique<VirtualSwitch>();
    QVERIFY2(device->start(), qPrintable(device->errorString()));
    QFile memory(memoryPath);
    QVERIFY(memory.open(QIODevice::WriteOnly));
    memory.write("20m=3\n");
    memory.close();

    const auto startPanel = [this](const QStringList &arguments) {
        auto *panel = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        panel->setProcessEnvironment(environment);
        panel->start(QStringLiteral(TQX5R_PANEL_PATH), QStringList{"--port", device->devicePath()} + arguments);
        return panel;
    };
    const auto stopPanel = [](QProcess *panel) {
        panel->terminate();
        QVERIFY(panel->waitForFinished(20000));
    };

    // A bad value: said on stderr, and the panel runs without band follow.
    QProcess *refused = startPanel({"--logger-udp", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(pollsAtSwitch() >= 1, 20000);
    stopPanel(refused);
    const QString complaint = refused->readAllStandardError();
    QVERIFY2(complaint.contains("--logger-udp: '0' is not a UDP port") && complaint.contains("without band follow"),
             qPrintable(complaint));

    device->clearReceived();
    const quint16 port = freeUdpPort();
    QProcess *panel = startPanel({"--logger-udp", QString::number(port), "--bands", memoryPath});
    QTRY_VERIFY_WITH_TIMEOUT(pollsAtSwitch() >= 1, 20000);
    sendRadioInfo(port, 1420000);
    QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS2;"});
    stopPanel(panel);
}

QTEST_MAIN(tst_BandFollow)
#include "tst_bandfollow.moc"
