#include "rig/HamlibSource.h"

#include <QtTest>

#include <clocale>

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
};

QTEST_GUILESS_MAIN(tst_HamlibSource)
#include "tst_hamlibsource.moc"
