#include "rig/HamlibModels.h"
#include "rig/HamlibPoller.h"

#include <QtTest>

// Hamlib's own list of radios, as the band follow dialog offers it.
class tst_HamlibModels : public QObject
{
    Q_OBJECT

private slots:
    void knownModelsAndOrder()
    {
        const QList<HamlibModel> &models = HamlibModels::all();
        QVERIFY(models.size() > 100);

        const std::optional<HamlibModel> dummy = HamlibModels::find(1);
        QVERIFY(dummy);
        QCOMPARE(dummy->name, QString("Dummy"));
        QCOMPARE(dummy->maker, QString("Hamlib"));
        QVERIFY(!dummy->status.isEmpty());
        QCOMPARE(HamlibModels::find(2)->name, QString("NET rigctl"));
        QCOMPARE(HamlibModels::describe(1), QString("Hamlib Dummy (1)"));

        // Sorted by maker, then model, and each number once; the list is the
        // one Hamlib checks a number against.
        QSet<int> numbers;
        for (int i = 0; i < models.size(); ++i) {
            QVERIFY2(HamlibPoller::knownModel(models[i].number), qPrintable(models[i].displayName()));
            QVERIFY(!numbers.contains(models[i].number));
            numbers.insert(models[i].number);
            if (i == 0)
                continue;
            const int maker = models[i - 1].maker.compare(models[i].maker, Qt::CaseInsensitive);
            QVERIFY2(maker < 0 || (maker == 0 && models[i - 1].name.compare(models[i].name, Qt::CaseInsensitive) <= 0),
                     qPrintable(models[i - 1].displayName() + " / " + models[i].displayName()));
        }
        QCOMPARE(&HamlibModels::all(), &models);
    }

    // A number remembered from another Hamlib version, or made up.
    void unknownNumbers()
    {
        for (int number : {0, -1, 999999, std::numeric_limits<int>::max()}) {
            QVERIFY(!HamlibModels::find(number));
            QCOMPARE(HamlibModels::describe(number), QString("Unknown model %1").arg(number));
        }
    }
};

QTEST_GUILESS_MAIN(tst_HamlibModels)
#include "tst_hamlibmodels.moc"
