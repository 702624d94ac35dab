#include "app/CommandLine.h"

#include <QRegularExpression>
#include <QtTest>

// How the panel reads its arguments, and what it says of the ones it does
// not know (it then refuses to start). A password typed where the panel takes none must
// never be repeated.
namespace {

// Options of the kind the features add: one with a value, one without.
void addFeatureOptions(CommandLine &commandLine)
{
    commandLine.parser().addOption(QCommandLineOption(QStringLiteral("follow-hang"), QString(), QStringLiteral("MS")));
    commandLine.parser().addOption(QCommandLineOption(QStringLiteral("mqtt-user"), QString(), QStringLiteral("NAME")));
    commandLine.parser().addOption(QCommandLineOption(QStringLiteral("reconnect")));
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void warnings_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("shown");  // a part of the warnings
        QTest::addColumn<QString>("hidden"); // never in them, not even letter by letter

        QTest::newRow("a stray argument is counted, not shown") << QStringList{"hunter2"} << "1 argument belongs to no option"
                                                                << "hunter2";
        QTest::newRow("a value after an option's value") << QStringList{"--mqtt-user", "op2", "hunter2"}
                                                         << "1 argument belongs to no option" << "hunter2";
        QTest::newRow("several stray arguments") << QStringList{"hunter2", "--port", "/dev/ttyUSB0", "s3cret"}
                                                 << "2 arguments belong to no option" << "hunter2";
        QTest::newRow("unknown long option, its value") << QStringList{"--mqtt-password", "hunter2"}
                                                        << "'mqtt-password'" << "hunter2";
        QTest::newRow("unknown one-letter option, its value") << QStringList{"-p", "hunter2"} << "'p'" << "hunter2";
        QTest::newRow("unknown one-letter option, its value attached") << QStringList{"-p=hunter2"} << "'p'"
                                                                       << "hunter2";
        QTest::newRow("unknown option with its value attached") << QStringList{"--password=hunter2"} << "'password'"
                                                                << "hunter2";
        QTest::newRow("a word after one dash") << QStringList{"-ps3cret"} << "not shown" << "s3cret";
        QTest::newRow("two words after one dash") << QStringList{"-ps3cret", "-hunter2"}
                                                  << "2 unknown options written after one dash" << "s3cret";
        QTest::newRow("a word after one dash next to a named option")
            << QStringList{"--no-such-option", "-hunter2"} << "'no-such-option'" << "hunter2";
        QTest::newRow("a value further on") << QStringList{"--no-such-option", "--port", "/dev/ttyUSB0", "hunter2"}
                                            << "'no-such-option'" << "hunter2";
        QTest::newRow("a value before the unknown option") << QStringList{"hunter2", "-x"} << "'x'" << "hunter2";
        QTest::newRow("a value missing") << QStringList{"--port"} << "Missing value after '--port'" << "";
        QTest::newRow("a value given to an option that takes none") << QStringList{"--reconnect=hunter2"}
                                                                     << "'--reconnect'" << "hunter2";
    }
    void warnings()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);
        CommandLine commandLine;
        addFeatureOptions(commandLine);
        const QString written = commandLine.read(QStringList{"tqx5r-panel"} + arguments).join('\n');
        QVERIFY2(written.contains(shown), qPrintable(written));
        if (!hidden.isEmpty()) {
            QString lettersOnly = written;
            lettersOnly.remove(QRegularExpression("[^A-Za-z0-9]"));
            QVERIFY2(!lettersOnly.contains(hidden), qPrintable(written));
        }
    }

    void oneDashWords_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // "help", "version", or the options read as "name=value"

        // A word after one dash is one option: its letters are never read
        // as -f -o -l -l -o -w -h..., which asked for help and ended the
        // program with success.
        QTest::newRow("an option with one dash") << QStringList{"-follow-hang", "0", "-port", "/dev/ttyUSB0"}
                                                 << "follow-hang=0 port=/dev/ttyUSB0";
        QTest::newRow("one dash, value attached") << QStringList{"-follow-hang=0"} << "follow-hang=0";
        QTest::newRow("a word with v in it") << QStringList{"-reconnect", "-port", "COM3"} << "reconnect port=COM3";
        QTest::newRow("an unknown word with h and v") << QStringList{"-hv", "--port", "COM3"} << "port=COM3";
        QTest::newRow("-h") << QStringList{"-h"} << "help";
        QTest::newRow("-?") << QStringList{"-?"} << "help";
        QTest::newRow("-help") << QStringList{"-help"} << "help";
        QTest::newRow("--help-all") << QStringList{"--help-all"} << "help";
        QTest::newRow("-v") << QStringList{"-v"} << "version";
        QTest::newRow("--version") << QStringList{"--version"} << "version";
    }
    void oneDashWords()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        CommandLine commandLine;
        addFeatureOptions(commandLine);
        commandLine.read(QStringList{"tqx5r-panel"} + arguments);
        QString read;
        if (commandLine.asksForHelp()) {
            read = "help";
        } else if (commandLine.asksForVersion()) {
            read = "version";
        } else {
            QStringList options;
            for (const QString &name : commandLine.parser().optionNames()) {
                const QString value = commandLine.parser().value(name);
                options << (value.isEmpty() ? name : name + '=' + value);
            }
            read = options.join(' ');
        }
        QCOMPARE(read, expected);
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
