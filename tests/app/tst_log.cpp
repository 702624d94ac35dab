#include "app/Log.h"

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
};

QTEST_GUILESS_MAIN(tst_Log)
#include "tst_log.moc"
