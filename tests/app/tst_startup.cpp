#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "sim/VirtualSwitch.h"
#include "support/ModalDismisser.h"

#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

// The panel as started from the command line.
class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { MainWindow::registerMetaType(); }

    void helpAndVersion()
    {
        QProcess help;
        help.start(QStringLiteral(TQX5R_PANEL_PATH), {"-platform", "offscreen", "-h"});
        QVERIFY(help.waitForFinished(20000));
        QCOMPARE(help.exitCode(), 0);
        const QString text = help.readAllStandardOutput();
        QVERIFY2(text.contains("--port <NAME>"), qPrintable(text));

        // A password typed where the panel takes none is not repeated.
        QProcess version;
        version.start(QStringLiteral(TQX5R_PANEL_PATH),
                      {"-platform", "offscreen", "--mqtt-password", "s3cret", "-v"});
        QVERIFY(version.waitForFinished(20000));
        QVERIFY(QString(version.readAllStandardOutput()).contains("1.0.0"));
        QCOMPARE(version.exitCode(), 0);
        const QByteArray said = version.readAllStandardOutput() + version.readAllStandardError();
        QVERIFY2(!said.contains("s3cret"), said.constData());
    }

    void portOptionConnectsAtStart_data()
    {
        QTest::addColumn<QStringList>("arguments");  // PORT stands for the switch's
        QTest::addColumn<QStringList>("warned");
        QTest::addColumn<QStringList>("unsaid");
        // Qt's own options work next to ours.
        QTest::newRow("Qt's own style option") << QStringList{"-style", "fusion", "--port", "PORT"} << QStringList()
                                               << QStringList{"nknown", "belong"};
        // A word after one dash is one option. Read letter by letter,
        // -follow-hang asked for help (its h) and ended with success, and a
        // service manager saw nothing wrong while the station stayed down.
        QTest::newRow("an option with one dash") << QStringList{"-follow-hang", "0", "--port", "PORT"}
                                                 << QStringList() << QStringList{"nknown", "belong"};
    }
    void portOptionConnectsAtStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, warned);
        QFETCH(QStringList, unsaid);
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config.path());
        QProcess panel;
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(TQX5R_PANEL_PATH),
                    QStringList{"-platform", "offscreen"} + arguments.replaceInStrings("PORT", device.devicePath()));
        QVERIFY(panel.waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(device.receivedFrames().size() >= 2 || panel.state() != QProcess::Running, 20000);
        QVERIFY2(panel.state() == QProcess::Running, panel.readAllStandardOutput().left(200).constData());
        QCOMPARE(device.receivedFrames().first().bytes, QByteArray("IGW;"));
        const QString errors = panel.readAllStandardError();
        for (const QString &text : warned)
            QVERIFY2(errors.contains(text), qPrintable(errors));
        for (const QString &text : unsaid)
            QVERIFY2(!errors.contains(text), qPrintable(errors));
        panel.terminate();
        QVERIFY(panel.waitForFinished(20000));
    }

    void connectAtStartWithABadPortShowsTheErrorBox()
    {
        MainWindow window;
        window.show();
        ModalDismisser dismisser;
        QTimer::singleShot(0, &window, [&window] { window.connectAtStart("/dev/tqx5r-not-here"); });
        QTRY_COMPARE(dismisser.titles(), QStringList{"Error"});
        // Nobody chose the port just now: the box names it, and why.
        QCOMPARE(dismisser.texts(), QStringList{"Cannot open /dev/tqx5r-not-here: No such file or directory"});
        QCOMPARE(window.findChild<QStatusBar *>("statusBar")->currentMessage(), QString("Open error"));
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
