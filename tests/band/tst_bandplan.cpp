#include "band/BandPlan.h"

#include <QtTest>

// Every band edge, inside and one hertz outside.
class tst_BandPlan : public QObject
{
    Q_OBJECT

private slots:
    void edges_data()
    {
        QTest::addColumn<qint64>("frequencyHz");
        QTest::addColumn<QString>("band");

        struct Edges
        {
            const char *key;
            qint64 lowHz;
            qint64 highHz;
        };
        // The widest edges any IARU region gives each band.
        const Edges plan[] = {
            {"2200m", 135700, 137800},      {"630m", 472000, 479000},
            {"160m", 1800000, 2000000},     {"80m", 3500000, 4000000},      {"60m", 5250000, 5450000},
            {"40m", 7000000, 7300000},      {"30m", 10100000, 10150000},    {"20m", 14000000, 14350000},
            {"17m", 18068000, 18168000},    {"15m", 21000000, 21450000},    {"12m", 24890000, 24990000},
            {"10m", 28000000, 29700000},    {"6m", 50000000, 54000000},     {"4m", 69900000, 70500000},
            {"2m", 144000000, 148000000},   {"1.25m", 222000000, 225000000}, {"70cm", 420000000, 450000000},
        };
        for (const Edges &band : plan) {
            QTest::addRow("%s below", band.key) << band.lowHz - 1 << QString();
            QTest::addRow("%s low", band.key) << band.lowHz << QString(band.key);
            QTest::addRow("%s high", band.key) << band.highHz << QString(band.key);
            QTest::addRow("%s above", band.key) << band.highHz + 1 << QString();
        }
        QTest::newRow("zero") << qint64(0) << QString();
        QTest::newRow("negative") << qint64(-14200000) << QString();
        QTest::newRow("far above") << qint64(10368000000) << QString();
    }
    void edges()
    {
        QFETCH(qint64, frequencyHz);
        QFETCH(QString, band);
        QCOMPARE(BandPlan::key(BandPlan::bandAt(frequencyHz)), band);
    }
};

QTEST_GUILESS_MAIN(tst_BandPlan)
#include "tst_bandplan.moc"
