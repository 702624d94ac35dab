#include "app/CommandLine.h"

#include <QRegularExpression>
#include <QtTest>

// What the panel writes on stderr about arguments it does not know. A
// password typed where the panel takes none must never be repeated.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void warnings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");  // a part of the warnings
        QTest::addColumn<QString>("hidden"); // never in them, not even letter by letter

        QTest::newRow("a stray argument alone is named") << QStringList{"stray"} << "'stray'" << "";
        QTest::newRow("unknown long option, its value") << QStringList{"--mqtt-password", "hunter2"}
                                                        << "'mqtt-password'" << "hunter2";
        QTest::newRow("unknown one-letter option, its value") << QStringList{"-p", "hunter2"} << "'p'" << "hunter2";
        QTest::newRow("unknown option with its value attached") << QStringList{"--password=hunter2"} << "'password'"
                                                                << "hunter2";
        QTest::newRow("letters after one dash") << QStringList{"-ps3cret"} << "not shown" << "s3cret";
        QTest::newRow("a value further on") << QStringList{"--no-such-option", "--port", "/dev/ttyUSB0", "hunter2"}
                                            << "'no-such-option'" << "hunter2";
        QTest::newRow("a value before the unknown option") << QStringList{"hunter2", "-x"} << "'x'" << "hunter2";
        QTest::newRow("a value missing") << QStringList{"--port"} << "Missing value after '--port'" << "";
    }
    void warnings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);
        CommandLine commandLine;
        const QString written = commandLine.parse(QStringList{"tqx5r-panel"} + arguments).join('\n');
        QVERIFY2(written.contains(shown), qPrintable(written));
        if (!hidden.isEmpty()) {
            QString lettersOnly = written;
            lettersOnly.remove(QRegularExpression("[^A-Za-z0-9]"));
            QVERIFY2(!lettersOnly.contains(hidden), qPrintable(written));
        }
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
