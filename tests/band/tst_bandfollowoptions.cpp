#include "band/BandFollowOptions.h"

#include <QCommandLineParser>
#include <QtTest>

// The options as the panel reads them: what band follow gets, or why it is off.
class tst_BandFollowOptions : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("problem");

        QTest::newRow("rigctld") << QStringList{"--rig-model", "2", "--rig-file", "localhost:4532"}
                                 << "rig 2 localhost:4532 0" << "";
        QTest::newRow("serial radio") << QStringList{"--rig-model=1", "--rig-file=/dev/ttyUSB0", "--rig-speed=38400"}
                                      << "rig 1 /dev/ttyUSB0 38400" << "";
        QTest::newRow("loggers, repeated port once")
            << QStringList{"--logger-udp", "12060", "--logger-udp", "2237", "--logger-udp", "12060", "--bands", "b.ini"}
            << "udp 12060 2237, b.ini" << "";
        QTest::newRow("unknown model") << QStringList{"--rig-model", "999999", "--logger-udp", "12060"} << "off"
                                       << "--rig-model: '999999' is not a Hamlib radio model";
        QTest::newRow("bad speed") << QStringList{"--rig-model", "1", "--rig-speed", "-9600"} << "off" << "--rig-speed";
        QTest::newRow("port 0") << QStringList{"--logger-udp", "0"} << "off" << "--logger-udp: '0' is not a UDP port";
        QTest::newRow("file without model") << QStringList{"--rig-file", "/dev/ttyUSB0"} << "off" << "need --rig-model";
        QTest::newRow("memory file alone") << QStringList{"--bands", "b.ini"} << "off" << "--bands needs";
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, settings);
        QFETCH(QString, problem);

        QCommandLineParser parser;
        const BandFollowOptions options;
        options.add(parser);
        QVERIFY(parser.parse(QStringList{"tqx5r-panel"} + arguments));
        QStringList problems;
        const std::optional<BandFollowSettings> read = options.read(parser, problems);
        QString summary = QStringLiteral("off");
        if (read) {
            QStringList parts, ports;
            if (read->rig)
                parts << QStringLiteral("rig %1 %2 %3").arg(read->rig->model).arg(read->rig->file).arg(read->rig->speed);
            for (const LoggerEndpoint &endpoint : read->loggers)
                ports << endpoint.toString();
            if (!ports.isEmpty())
                parts << "udp " + ports.join(' ');
            if (!read->memoryPath.isEmpty())
                parts << read->memoryPath;
            summary = parts.join(", ");
        }
        QCOMPARE(summary, settings);
        QVERIFY2(problem.isEmpty() ? problems.isEmpty() : problems.join('\n').contains(problem), qPrintable(problems.join('\n')));
    }
};

QTEST_GUILESS_MAIN(tst_BandFollowOptions)
#include "tst_bandfollowoptions.moc"
