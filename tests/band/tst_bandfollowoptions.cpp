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
        // Without a source the remembered ones are followed.
        QTest::newRow("memory file alone") << QStringList{"--bands", "b.ini"} << "b.ini" << "";
        QTest::newRow("listening beyond this computer")
            << QStringList{"--logger-udp", "0.0.0.0:12060", "--logger-udp", "239.255.0.1:2237", "--logger-udp",
                           "192.168.1.5:12061"}
            << "udp 0.0.0.0:12060 239.255.0.1:2237 192.168.1.5:12061" << "";
        QTest::newRow("a name is no address") << QStringList{"--logger-udp", "logger.lan:12060"} << "off"
                                              << "--logger-udp: 'logger.lan:12060' is not";
        QTest::newRow("senders, radio and hang")
            << QStringList{"--logger-udp", "0.0.0.0:12060", "--logger-from", "192.168.1.20", "--logger-from",
                           "10.0.0.0/8", "--logger-radio", "2", "--follow-hang", "0"}
            << "udp 0.0.0.0:12060, from 192.168.1.20 10.0.0.0/8, radio 2, hang 0" << "";
        QTest::newRow("bad sender") << QStringList{"--logger-udp", "12060", "--logger-from", "10.0.0.0/40"} << "off"
                                    << "--logger-from: '10.0.0.0/40'";
        QTest::newRow("bad radio") << QStringList{"--logger-udp", "12060", "--logger-radio", "0"} << "off"
                                   << "--logger-radio: '0'";
        // Warnings, not refusals: band follow runs, but a sender the ports
        // can never hear is told at start.
        QTest::newRow("a sender on the network, a port on this computer only")
            << QStringList{"--logger-udp", "12060", "--logger-from", "192.168.1.20"}
            << "udp 12060, from 192.168.1.20"
            << "hears nothing on --logger-udp 12060: it listens on this computer only, and --logger-from allows no "
               "sender here. --logger-udp 0.0.0.0:12060 listens on every interface";
        QTest::newRow("loopback named as the address")
            << QStringList{"--logger-udp", "127.0.0.1:12060", "--logger-from", "10.0.0.0/8"}
            << "udp 127.0.0.1:12060, from 10.0.0.0/8" << "hears nothing on --logger-udp 127.0.0.1:12060";
        QTest::newRow("this computer and a sender on the network, ports on this computer only")
            << QStringList{"--logger-udp", "12060", "--logger-udp", "2237", "--logger-from", "127.0.0.1",
                           "--logger-from", "192.168.1.20"}
            << "udp 12060 2237, from 127.0.0.1 192.168.1.20"
            << "never hears --logger-from 192.168.1.20: --logger-udp listens on this computer only. --logger-udp "
               "0.0.0.0:12060 listens";
        QTest::newRow("a port on this computer and one on the network: the first hears nothing")
            << QStringList{"--logger-udp", "12060", "--logger-udp", "0.0.0.0:2237", "--logger-from", "192.168.1.20"}
            << "udp 12060 0.0.0.0:2237, from 192.168.1.20" << "hears nothing on --logger-udp 12060:";
        QTest::newRow("senders that take in this computer: no warning")
            << QStringList{"--logger-udp", "12060", "--logger-from", "127.0.0.2", "--logger-from", "0.0.0.0/0"}
            << "udp 12060, from 127.0.0.2 0.0.0.0/0" << "";
        QTest::newRow("an IPv6 sender") << QStringList{"--logger-udp", "12060", "--logger-from", "::1"}
                                        << "udp 12060, from ::1"
                                        << "never hears --logger-from ::1: logger packets are taken over IPv4 only";
        QTest::newRow("an IPv6 sender, no port given") << QStringList{"--logger-from", "fd00::/8"} << "from fd00::/8"
                                                       << "never hears --logger-from fd00::/8";
        QTest::newRow("hang too long") << QStringList{"--rig-model", "1", "--follow-hang", "10001"} << "off"
                                       << "--follow-hang: '10001'";
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
        const BandFollowOptions::Given given = options.read(parser, problems);
        const BandFollowSettings &read = given.settings;
        QString summary = QStringLiteral("off");
        if (!given.refused) {
            QStringList parts;
            if (const std::optional<HamlibSettings> rig = read.rig.hamlib())
                parts << QStringLiteral("rig %1 %2 %3").arg(rig->model).arg(rig->file).arg(rig->speed);
            if (!read.loggerPorts.isEmpty())
                parts << "udp " + read.loggerPorts.join(' ');
            if (!read.allowedSenders.isEmpty())
                parts << "from " + read.allowedSenders.join(' ');
            if (read.loggerRadio != LoggerPackets::activeRadio)
                parts << QStringLiteral("radio %1").arg(read.loggerRadio);
            if (read.hangMs != BandFollowSettings::defaultHangMs)
                parts << QStringLiteral("hang %1").arg(read.hangMs);
            if (!given.memoryPath.isEmpty())
                parts << given.memoryPath;
            summary = parts.join(", ");
        }
        QCOMPARE(summary, settings);
        QVERIFY2(problem.isEmpty() ? problems.isEmpty() : problems.join('\n').contains(problem), qPrintable(problems.join('\n')));
        QVERIFY2(problems.size() <= 2, qPrintable(problems.join('\n'))); // one line each, not one per port or sender
    }
};

QTEST_GUILESS_MAIN(tst_BandFollowOptions)
#include "tst_bandfollowoptions.moc"
