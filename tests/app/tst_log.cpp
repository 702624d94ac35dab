#include "app/Log.h"
#include "app/MessageLevels.h"

#include <QtTest>

// A line for the journal or for a terminal: the journal reads the priority
// at its start, and a line break inside a text must never make a second line
// that the journal or an operator would take for another message.
class tst_Log : public QObject
{
    Q_OBJECT

private slots:
    void lines_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");

        const QString stamp = QStringLiteral("2026-12-07 12:00:00.000");
        const int error = int(Log::Level::Error);
        const int warning = int(Log::Level::Warning);
        const int info = int(Log::Level::Info);
        QTest::newRow("journal, error") << error << true << "Port lost" << "<3>Port lost";
        QTest::newRow("journal, warning") << warning << true << "Retrying" << "<4>Retrying";
        QTest::newRow("journal, info") << info << true << "Connected" << "<6>Connected";
        QTest::newRow("terminal, error") << error << false << "Port lost"
                                         << "tst_log: " + stamp + " error: Port lost";
        QTest::newRow("terminal, info") << info << false << "Connected"
                                        << "tst_log: " + stamp + " info: Connected";
        QTest::newRow("a line break cannot forge a line") << info << true << "a\n<3>forged\r"
                                                          << "<6>a <3>forged ";
    }

    void lines()
    {
        QFETCH(int, level);
        QFETCH(bool, journal);
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(Log::format(Log::Level(level), text, journal, QStringLiteral("2026-12-07 12:00:00.000")), line);
    }

    // The program's messages as it words them, with the level the table
    // gives each; anything else is information.
    void levels_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("level");
        const int error = int(Log::Level::Error);
        const int warning = int(Log::Level::Warning);
        const int info = int(Log::Level::Info);
        QTest::newRow("lost") << QString::fromUtf8("Connection to /dev/ttyUSB0 lost; reconnecting…") << warning;
        QTest::newRow("no answer") << "No answer from TQX-5R" << warning;
        QTest::newRow("connected") << "Connected to /dev/ttyUSB0 : 9600, 8, None, 1, None" << info;
        QTest::newRow("broker unreachable") << "Cannot reach the broker 127.0.0.1:1: Connection refused; trying again"
                                            << warning;
        QTest::newRow("login refused") << "The broker 127.0.0.1:1883 refused the login: not authorised" << error;
        QTest::newRow("an option") << "--follow-hang: '99999' is not a time in milliseconds (0 to 10000)." << warning;
        QTest::newRow("plain password") << "The broker password goes to host:1883 unencrypted; use --mqtt-cafile"
                                        << warning;
        QTest::newRow("a radio's port refused") << "Cannot open /dev/ttyRIG1: permission denied (the service needs group "
                                                   "plugdev: SupplementaryGroups=plugdev)" << warning;
        QTest::newRow("band follow held") << "Band follow held: logger port flooded" << warning;
        QTest::newRow("a select") << "20 m: Ant 3" << info;
        QTest::newRow("an antenna not for the band") << "Antenna 6 (6m Y) is not for 160 m; not selected" << warning;
        QTest::newRow("transmitting on it") << "Transmitting on Antenna 7 (Beve), which is receive only" << warning;
        QTest::newRow("a band where the antenna in use is not for it") << "Antenna 6 in use is not for 160 m" << warning;
        QTest::newRow("lines of antennas.ini") << "Some lines of antennas.ini are ignored; see the tooltip" << warning;
        QTest::newRow("a split restored") << "160 m: Ant 6, split TX Ant 2" << info;
        QTest::newRow("a part of a message is not the message") << "xNo answer from TQX-5R" << info;
        QTest::newRow("a regular expression's letters are taken as they are") << "Open errors" << info;
    }
    void levels()
    {
        QFETCH(QString, text);
        QFETCH(int, level);
        QCOMPARE(int(MessageLevels::of(text)), level);
    }
};

QTEST_GUILESS_MAIN(tst_Log)
#include "tst_log.moc"
