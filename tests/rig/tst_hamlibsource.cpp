#include "rig/HamlibSource.h"
#include "rig/PortRefusal.h"

#include <QtTest>

#include <clocale>
#include <grp.h>
#include <unistd.h>

namespace {
constexpr int kenwoodTs2000 = 2014; // a radio on a serial line
constexpr const char *refusedPortVariable = "TQX5R_REFUSED_PORT";
} // namespace

// The radio source on a running program.
class tst_HamlibSource : public QObject
{
    Q_OBJECT

private slots:
    void leavesTheProgramsLocaleAlone()
    {
        // Changing the locale while other threads run races with every
        // number they format or parse; start-up settles it once, before
        // any thread exists, and a source made later must not touch it.
        QVERIFY(std::setlocale(LC_NUMERIC, "C.UTF-8"));
        {
            HamlibSettings settings;
            settings.model = 0; // no such radio: nothing is ever opened
            HamlibSource source(settings);
            QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), QByteArray("C.UTF-8"));
        }
        std::setlocale(LC_NUMERIC, "C");
    }

    void refusedPortSaysWhy_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<QString>("expected");
        QTest::newRow("at a desk") << false << "Cannot open %1: permission denied";
        QTest::newRow("under systemd")
            << true << "Cannot open %1: permission denied (the service needs group dialout: SupplementaryGroups=dialout)";
    }
    void refusedPortSaysWhy()
    {
        QFETCH(bool, service);
        QFETCH(QString, expected);
        if (::geteuid() == 0) {
            // Root opens any port: the same case runs again as nobody, on a
            // port only root and dialout may use.
            QTemporaryDir dir;
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                          | QFile::ReadOther | QFile::ExeOther));
            const QString port = dir.filePath("ttyUSB1");
            const struct group *dialout = ::getgrnam("dialout");
            QVERIFY(dialout);
            QFile file(port);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(::chown(QFile::encodeName(port).constData(), 0, dialout->gr_gid) == 0);
            QVERIFY(QFile::setPermissions(port, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                    | QFile::WriteGroup));
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(refusedPortVariable, port);
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                    QCoreApplication::applicationFilePath(),
                                    QStringLiteral("refusedPortSaysWhy:") + QTest::currentDataTag()});
            QVERIFY(child.waitForFinished(20000));
            QVERIFY2(child.exitCode() == 0, child.readAll().constData());
            return;
        }
        const QString port = qEnvironmentVariable(refusedPortVariable);
        if (port.isEmpty())
            QSKIP("needs a port this user may not open: run as root");
        if (service)
            qputenv("INVOCATION_ID", "0123456789abcdef0123456789abcdef");
        else
            qunsetenv("INVOCATION_ID");
        HamlibSettings settings;
        settings.model = kenwoodTs2000;
        settings.file = port;
        HamlibSource source(settings);
        QSignalSpy texts(&source, &HamlibSource::statusText);
        QSignalSpy answering(&source, &HamlibSource::answering);
        QTRY_COMPARE_WITH_TIMEOUT(answering.size(), 1, 10000);
        QCOMPARE(answering.first().first().toBool(), false);
        QCOMPARE(texts.size(), 1);
        QCOMPARE(texts.first().first().toString(), expected.arg(port));
        qunsetenv("INVOCATION_ID");
    }

    void refusalWithoutAGroupToName()
    {
        // A port no group may use, or one whose group cannot be seen, names
        // none; a path with "%" in it is shown as it is.
        QCOMPARE(PortRefusal::describe("/dev/tty%1", QString(), true), QString("Cannot open /dev/tty%1: permission denied"));
        QCOMPARE(PortRefusal::describe("/dev/ttyUSB1", "plugdev", false),
                 QString("Cannot open /dev/ttyUSB1: permission denied"));
        // A port that is missing, or that may be used, is no refusal.
        QVERIFY(PortRefusal::check("/dev/tqx5r-no-such-port").isEmpty());
        QVERIFY(PortRefusal::check("/dev/null").isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_HamlibSource)
#include "tst_hamlibsource.moc"
