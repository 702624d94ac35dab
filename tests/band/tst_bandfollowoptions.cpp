#include "band/BandFollowOptions.h"

#include <QCommandLineParser>
#include <QtTest>

// The options as the panel reads them: what band follow gets, or why it is off.
namespace {

QString summary(const std::optional<BandFollowSettings> &settings)
{
    if (!settings)
        return QStringLiteral("off");
    QStringList parts;
    if (settings->rig)
        parts << QStringLiteral("rig %1 '%2' %3").arg(settings->rig->model).arg(settings->rig->file).arg(settings->rig->speed);
    for (quint16 port : settings->loggerPorts)
        parts << QStringLiteral("udp %1").arg(port);
    if (!settings->memoryPath.isEmpty())
        parts << QStringLiteral("bands %1").arg(settings->memoryPath);
    return parts.join(", ");
}

} // namespace

class tst_BandFollowOptions : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
};

void tst_BandFollowOptions::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("problem");

    QTest::newRow("none") << QStringList{} << "off" << "";
    QTest::newRow("rigctld") << QStringList{"--rig-model", "2", "--rig-file", "localhost:4532"}
                             << "rig 2 'localhost:4532' 0" << "";
    QTest::newRow("serial radio") << QStringList{"--rig-model=1", "--rig-file=/dev/ttyUSB0", "--rig-speed=38400"}
                                  << "rig 1 '/dev/ttyUSB0' 38400" << "";
    QTest::newRow("loggers, repeated port once")
        << QStringList{"--logger-udp", "12060", "--logger-udp", "2237", "--logger-udp", "12060", "--bands", "/tmp/b.ini"}
        << "udp 12060, udp 2237, bands /tmp/b.ini" << "";
    QTest::newRow("unknown model") << QStringList{"--rig-model", "999999", "--logger-udp", "12060"} << "off"
                                   << "--rig-model: '999999' is not a Hamlib radio model";
    QTest::newRow("model not a number") << QStringList{"--rig-model", "ic7300"} << "off" << "--rig-model: 'ic7300'";
    QTest::newRow("bad speed") << QStringList{"--rig-model", "1", "--rig-speed", "-9600"} << "off" << "--rig-speed";
    QTest::newRow("port 0") << QStringList{"--logger-udp", "0"} << "off" << "--logger-udp: '0' is not a UDP port";
    QTest::newRow("port too high") << QStringList{"--logger-udp", "65536"} << "off" << "--logger-udp: '65536'";
    QTest::newRow("file without model") << QStringList{"--rig-file", "/dev/ttyUSB0"} << "off" << "need --rig-model";
    QTest::newRow("memory file alone") << QStringList{"--bands", "/tmp/b.ini"} << "off" << "--bands needs";
}

void tst_BandFollowOptions::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settings);
    QFETCH(QString, problem);

    QCommandLineParser parser;
    const BandFollowOptions options;
    options.add(parser);
    QVERIFY(parser.parse(QStringList{"tqx5r-panel"} + arguments));
    QStringList problems;
    QCOMPARE(summary(options.read(parser, problems)), settings);
    if (problem.isEmpty())
        QCOMPARE(problems, QStringList());
    else
        QVERIFY2(problems.join('\n').contains(problem), qPrintable(problems.join('\n')));
}

QTEST_GUILESS_MAIN(tst_BandFollowOptions)
#include "tst_bandfollowoptions.moc"
