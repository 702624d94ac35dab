#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "sim/VirtualSwitch.h"
#include "support/ModalDismisser.h"

#include <QProcess>
#include <QStatusBar>
#include <QtTest>

// The panel as started from the command line.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void helpAndVersion();
    void portOptionConnectsAtStart();
    void connectAtStartWithABadPortShowsTheErrorBox();
    void unknownOptionIsRefused();

private:
    QProcess *startPanel(const QStringList &arguments);
};

void tst_Startup::initTestCase()
{
    MainWindow::registerMetaType();
}

QProcess *tst_Startup::startPanel(const QStringList &arguments)
{
    auto *panel = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    panel->setProcessEnvironment(environment);
    panel->start(QStringLiteral(TQX5R_PANEL_PATH), arguments);
    return panel;
}

void tst_Startup::helpAndVersion()
{
    QProcess *help = startPanel({"--help"});
    QVERIFY(help->waitForFinished(20000));
    QCOMPARE(help->exitCode(), 0);
    const QString text = help->readAllStandardOutput();
    QVERIFY2(text.contains("--port <NAME>"), qPrintable(text));

    QProcess *version = startPanel({"--version"});
    QVERIFY(version->waitForFinished(20000));
    QVERIFY(QString(version->readAllStandardOutput()).contains("1.0.0"));
}

void tst_Startup::portOptionConnectsAtStart()
{
    VirtualSwitch device;
    QVERIFY2(device.start(), qPrintable(device.errorString()));
    // Qt's own options still work next to ours.
    QProcess *panel = startPanel({"-platform", "offscreen", "--port", device.devicePath()});
    QVERIFY(panel->waitForStarted(20000));
    QTRY_VERIFY_WITH_TIMEOUT(device.receivedFrames().size() >= 3, 20000);
    QCOMPARE(device.receivedFrames().first().bytes, QByteArray("IGW;"));
    QVERIFY(device.receivedFrames().at(1).bytes.startsWith("IGT3;"));
    panel->terminate();
    QVERIFY(panel->waitForFinished(20000));
}

void tst_Startup::connectAtStartWithABadPortShowsTheErrorBox()
{
    MainWindow window;
    window.show();
    ModalDismisser dismisser;
    QTimer::singleShot(0, &window, [&window] { window.connectAtStart("/dev/tqx5r-not-here"); });
    QTRY_COMPARE(dismisser.titles(), QStringList{"Error"});
    QCOMPARE(window.findChild<QStatusBar *>("statusBar")->currentMessage(), QString("Open error"));
}

void tst_Startup::unknownOptionIsRefused()
{
    // Named on stderr, and the panel starts as usual with what it does know.
    VirtualSwitch device;
    QVERIFY2(device.start(), qPrintable(device.errorString()));
    QProcess *panel = startPanel({"--no-such-option", "--port", device.devicePath(), "stray"});
    QVERIFY(panel->waitForStarted(20000));
    QTRY_VERIFY_WITH_TIMEOUT(device.receivedFrames().size() >= 2, 20000);
    QCOMPARE(panel->state(), QProcess::Running);
    const QString errors = panel->readAllStandardError();
    QVERIFY2(errors.contains("no-such-option") && errors.contains("stray"), qPrintable(errors));
    panel->terminate();
    QVERIFY(panel->waitForFinished(20000));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
