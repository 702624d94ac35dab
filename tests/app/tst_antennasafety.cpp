#include "band/BandPlan.h"
#include "panel/SpokenNotice.h"
#include "settings/StationProfile.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/Files.h"
#include "support/StationRun.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QJsonArray>
#include <QLabel>
#include <QTableWidget>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QtTest>

// The antenna rules where they meet the rest of the program, as a station
// owner would try them: the station composed from a command line, the real
// window and poll thread, a virtual switch on a pseudo-terminal, a logger's
// packets on a real UDP port and a real broker. What reaches the switch and
// what does not, what the operator, the screen reader, the log and the
// broker are told, and the split pairs band follow restores.
class tst_AntennaSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        broker = std::make_unique<LocalBroker>();
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
    }

    void init()
    {
        files = std::make_unique<QTemporaryDir>();
        bandsPath = files->filePath("bands.ini");
        antennasPath = files->filePath("antennas.ini");
        port = StationRun::freeUdpPort();
    }

    void cleanup()
    {
        watcher.reset();
        run.reset();
        files.reset();
    }

    void cleanupTestCase() { broker.reset(); }

    // Warned: every select still goes out, and each one not for the band
    // (or of an antenna that only receives) is said in the status bar, to
    // the screen reader and, for a broker command, on BASE/error. The keys
    // say what they are not for; the broker's state says which antennas
    // are allowed; nothing not for the band is learned.
    void warnedSelectsGoOut()
    {
        start("[Bands]\n6=6m\n[ReceiveOnly]\n7=true\n");
        onBand(1900000, "160 m");

        QPushButton *six = key(6);
        QTRY_COMPARE(six->accessibleDescription(), QString("not for 160 m"));
        QCOMPARE(key(7)->accessibleDescription(), QString("receive only"));
        QVERIFY(six->property("notForBand").toBool());
        QVERIFY(!key(7)->property("notForBand").toBool());
        QTRY_VERIFY(stateAllows() == (QList<bool>{true, true, true, true, true, false, true, true}));

        six->click();
        QTRY_VERIFY(commands().contains("IGS5;"));
        QVERIFY(run->told.contains("Antenna 6 (6m Y) is not for 160 m"));
        QTRY_VERIFY(spoken().contains("Antenna 6 (6m Y) is not for 160 m"));

        QTest::keyClick(run->linked->window.get(), Qt::Key_F7);
        QTRY_VERIFY(commands().contains("IGS6;"));
        QVERIFY(run->told.contains("Antenna 7 (Beve) is receive only"));
        QTRY_COMPARE(int(run->snapshot().reported.position), 6);

        // Transmitting on it is said at once, loudly.
        setSending(true);
        const QString transmitting = "Transmitting on Antenna 7 (Beve), which is receive only";
        QTRY_VERIFY(run->told.contains(transmitting));
        QVERIFY(run->warnings.contains(transmitting));
        QTRY_VERIFY(errorsSaid().contains(QJsonObject{{"warning", transmitting}}));
        setSending(false);

        // A command from the broker, as Home Assistant's select sends it.
        QVERIFY(watcher->publish("set", "{\"antenna\":6}"));
        QTRY_COMPARE(commands().count("IGS5;"), 2);
        QTRY_VERIFY(errorsSaid().contains(
            QJsonObject{{"warning", "Antenna 6 (6m Y) is not for 160 m"}, {"command", "{\"antenna\":6}"}}));
        QTest::qWait(learnedAfterMs);
        QVERIFY2(!contents(bandsPath).contains("160m"), contents(bandsPath).constData());
    }

    // Refused: nothing goes out, and the same places say so; a receive-only
    // antenna is never made the TX antenna; an edit of the file by hand
    // counts at the next select.
    void refusedSelectsStay()
    {
        start("[Bands]\n6=6m\n[Rules]\nRefuseOffBand=true\n[ReceiveOnly]\n7=true\n");
        onBand(1900000, "160 m");
        const QString refused = "Antenna 6 (6m Y) is not for 160 m; not selected";

        key(6)->click();
        QTRY_VERIFY(run->told.contains(refused));
        QTRY_VERIFY(spoken().contains(refused));
        QTest::keyClick(run->linked->window.get(), Qt::Key_F6);
        QVERIFY(watcher->publish("set/op2", "{\"antenna\":6}"));
        QTRY_VERIFY(errorsSaid().contains(
            QJsonObject{{"error", refused}, {"command", "{\"antenna\":6}"}, {"user", "op2"}}));
        // A remote panel's word is judged as the key it stands for.
        QVERIFY(watcher->publish("set", "{\"word\":" + QByteArray::number(quint16(Protocol::selectWord(5))) + "}"));
        QTRY_COMPARE(errorsSaid().size(), 2);

        QTest::qWait(500);
        QCOMPARE(commands(), QList<QByteArray>());

        // The file edited by hand: the next select is judged by it at once.
        QVERIFY(writeFile(antennasPath, "[Bands]\n6=6m 160m\n[Rules]\nRefuseOffBand=true\n[ReceiveOnly]\n7=true\n"));
        key(6)->click();
        QTRY_COMPARE(commands(), QList<QByteArray>{"IGS5;"});
        QTRY_VERIFY(!key(6)->property("notForBand").toBool());

        // SPLIT, then the key of the receive-only antenna: never the TX antenna.
        run->linked->panel.child<QAbstractButton>("split")->click();
        key(7)->click();
        QTRY_VERIFY(run->told.contains("Antenna 7 (Beve) is receive only; not made the TX antenna"));
        QTest::qWait(500);
        QCOMPARE(commands(), QList<QByteArray>{"IGS5;"});
    }

    // The radio is on a band from its first reading there, though band
    // follow counts it only once it has stood: a select made in between is
    // judged on the band the radio is on, whichever way it moved.
    void aSelectJustAfterTheBandChangedIsJudgedOnTheNewBand()
    {
        start("[Bands]\n6=6m\n[Rules]\nRefuseOffBand=true\n");
        onBand(50100000, "6 m");
        const QString refused = "Antenna 6 (6m Y) is not for 160 m; not selected";

        // Well within the time band follow waits before the band counts.
        QVERIFY(StationRun::sendFrom("127.0.0.1", port, StationRun::radioInfo(1900000, false)));
        QTest::qWait(readingTakenMs);
        key(6)->click();
        QVERIFY(watcher->publish("set", "{\"antenna\":6}"));
        QTRY_VERIFY(run->told.contains(refused));
        QTRY_VERIFY(errorsSaid().contains(QJsonObject{{"error", refused}, {"command", "{\"antenna\":6}"}}));
        QTRY_VERIFY(run->followLabel().startsWith("160 m"));
        QTest::qWait(500);
        QCOMPARE(commands(), QList<QByteArray>());

        // Back to 6 m: the Yagi goes at once.
        QVERIFY(StationRun::sendFrom("127.0.0.1", port, StationRun::radioInfo(50100000, false)));
        QTest::qWait(readingTakenMs);
        key(6)->click();
        QTRY_COMPARE(commands(), QList<QByteArray>{"IGS5;"});
    }

    // Band follow never selects an antenna the rules keep off the band, and
    // says so; a band where the antenna in use is not for it, with nothing
    // to select, is said at once; a front-panel move to such an antenna is
    // not learned; the band table and the rules edited at once by hand
    // never let one through.
    void bandFollowKeepsToTheRules()
    {
        QVERIFY(writeFile(bandsPath, "160m=6\n80m=2\n"));
        start("[Bands]\n6=6m\n");
        onBand(3600000, "80 m");
        QTRY_VERIFY(commands().contains("IGS1;"));
        QTRY_COMPARE(int(run->snapshot().reported.position), 1);
        moveFrontPanel(5);
        QTest::qWait(learnedAfterMs);

        onBand(1900000, "160 m");
        const QString skipped = "Antenna 6 (6m Y) is not for 160 m; band follow does not select it";
        const QString inUse = "Antenna 6 (6m Y) in use is not for 160 m";
        QTRY_VERIFY(run->told.contains(skipped));
        QTRY_VERIFY(run->told.contains(inUse));
        QVERIFY(run->warnings.contains(skipped) && run->warnings.contains(inUse));
        QTRY_VERIFY(errorsSaid().contains(QJsonObject{{"warning", inUse}}));
        QTest::qWait(1000);
        QCOMPARE(commands(), QList<QByteArray>{"IGS1;"});
        QCOMPARE(contents(bandsPath), QByteArray("160m=6\n80m=2\n"));

        // Both files edited by hand at once: the band table's new antenna
        // for the band is one the new rules keep off it.
        QVERIFY(writeFile(bandsPath, "160m=3\n80m=2\n"));
        QVERIFY(writeFile(antennasPath, "[Bands]\n6=6m\n3=20m\n"));
        QTRY_VERIFY(run->told.contains("Antenna 3 is not for 160 m; band follow does not select it"));
        QTest::qWait(1500);
        QCOMPARE(commands(), QList<QByteArray>{"IGS1;"});
    }

    // The operator's split is learned for the band and restored on return
    // as the panel's own words make it; a band remembered without split
    // gets split off first.
    void splitPairsComeBackWithTheirBand()
    {
        QVERIFY(writeFile(bandsPath, "40m=5\n"));
        start(QByteArray());
        onBand(1900000, "160 m");
        QTest::keyClick(run->linked->window.get(), Qt::Key_F6);
        QTRY_COMPARE(int(run->snapshot().reported.position), 5);
        run->linked->panel.child<QAbstractButton>("split")->click();
        key(2)->click();
        QTRY_VERIFY(run->snapshot().reported.split);
        QTRY_COMPARE(contents(bandsPath), QByteArray("160m=2\n160m.rx=6\n40m=5\n"));

        run->linked->device->clearReceived();
        onBand(7100000, "40 m");
        QTRY_COMPARE(commandsShort(), (QList<QByteArray>{"IGP//0;", "IGS4;"}));
        onBand(1900000, "160 m");
        QTRY_COMPARE(commandsShort(), (QList<QByteArray>{"IGP//0;", "IGS4;", "IGS5;", "IGP511;"}));
        QTRY_VERIFY(run->snapshot().reported.split && run->snapshot().reported.splitPosition == 1);
    }

    // Antenna Bands, from the Station menu: the file's ignored lines are
    // said once (not again when it is saved unchanged) and shown in the
    // dialog; what OK writes counts at once and keeps every other line.
    // A file that cannot be written keeps the dialog open, saying why.
    void theDialogKeepsTheRestOfTheFile()
    {
        const QByteArray mine = "; the station's antennas\n[Bands]\n6=6m\n9=20m\n[Notes]\nYagi=on the tower\n";
        start(mine);
        onBand(1900000, "160 m");
        const QString ignored = "Some lines of antennas.ini are ignored; see the tooltip";
        QTRY_COMPARE(run->told.count(ignored), 1);
        QVERIFY(run->warnings.join('\n').contains("line 4: there is no antenna '9' (antennas are 1 to 8)"));
        QVERIFY(writeFile(antennasPath, mine));
        QTest::qWait(500);
        QCOMPARE(run->told.count(ignored), 1);

        run->linked->panel.child<QAction>("actionAntenna_Bands")->trigger();
        auto *dialog = run->linked->window->findChild<QDialog *>("AntennaBandsDialog");
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(dialog->findChild<QLabel *>("noticeLabel")->text().contains("there is no antenna '9'"));
        auto *grid = dialog->findChild<QTableWidget *>("bandGrid");
        grid->item(2, BandPlan::bandForKey("160m"))->setCheckState(Qt::Unchecked);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!dialog->isVisible());
        QTRY_COMPARE(key(3)->accessibleDescription(), QString("not for 160 m"));
        const QByteArray written = contents(antennasPath);
        QVERIFY2(written.startsWith("; the station's antennas\n[Bands]\n6=6m\n9=20m\n3=2200m 630m 80m"), written.constData());
        QVERIFY2(written.endsWith("[Notes]\nYagi=on the tower\n"), written.constData());

        // A folder in the file's place.
        QVERIFY(QFile::remove(antennasPath) && QDir(files->path()).mkdir("antennas.ini"));
        run->linked->panel.child<QAction>("actionAntenna_Bands")->trigger();
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->findChild<QLabel *>("saveProblemLabel")->text().contains("The rules hold for this run only."));
        QVERIFY(run->warnings.join('\n').contains("The rules hold for this run only."));
        // ... and the rules still hold.
        QCOMPARE(key(3)->accessibleDescription(), QString("not for 160 m"));
    }

    // The file edited by hand while Antenna Bands is open: OK writes what
    // the operator changed in the dialog and keeps what the hand edit did to
    // the rest.
    void theDialogKeepsAHandEditMadeWhileItIsOpen()
    {
        start("[Bands]\n6=6m\n");
        onBand(1900000, "160 m");
        run->linked->panel.child<QAction>("actionAntenna_Bands")->trigger();
        auto *dialog = run->linked->window->findChild<QDialog *>("AntennaBandsDialog");
        QVERIFY(dialog && dialog->isVisible());

        QVERIFY(writeFile(antennasPath, "[Bands]\n6=6m 2m\n[ReceiveOnly]\n7=true\n"));
        QTRY_COMPARE(key(7)->accessibleDescription(), QString("receive only"));

        auto *grid = dialog->findChild<QTableWidget *>("bandGrid");
        grid->item(2, BandPlan::bandForKey("160m"))->setCheckState(Qt::Unchecked);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!dialog->isVisible());
        const QByteArray written = contents(antennasPath);
        QVERIFY2(written.startsWith("[Bands]\n6=6m 2m\n3=2200m 630m 80m"), written.constData());
        QVERIFY2(written.endsWith("[ReceiveOnly]\n7=true\n"), written.constData());
        QCOMPARE(key(7)->accessibleDescription(), QString("receive only"));
        QCOMPARE(key(3)->accessibleDescription(), QString("not for 160 m"));
    }

    // Without rules nothing is set at the seam: no word is judged, no key
    // described or dimmed, no "allowed" in the state. A file with no band
    // lists and no marks is no rules.
    void withoutRulesNothingChanges()
    {
        start("; nothing here yet\n[Rules]\nRefuseOffBand=true\n");
        onBand(1900000, "160 m");
        QTRY_VERIFY(!watcher->last("state").isEmpty());
        QVERIFY(!watcher->last("state").contains("allowed"));
        key(6)->click();
        QTRY_VERIFY(commands().contains("IGS5;"));
        QVERIFY(!run->linked->window->seam()->keyAdvice().given);
        for (int n = 1; n <= positionCount; ++n) {
            QVERIFY(!key(n)->property("notForBand").isValid());
            QVERIFY(!key(n)->accessibleDescription().contains("not for"));
        }
        QVERIFY(!run->told.join('\n').contains("not for"));
    }

private:
    // A choice is learned once it has stood 300 ms; with room to spare.
    static constexpr int learnedAfterMs = 700;
    // A logger's packet on the loopback is read by then; a band counts 300 ms
    // after its first reading.
    static constexpr int readingTakenMs = 60;

    void start(const QByteArray &antennas)
    {
        run = std::make_unique<StationRun>();
        QVERIFY(writeFile(StationProfile::paths().captionsFile, "#K6 6m Y\n#K7 Beve\n"));
        if (!antennas.isNull())
            QVERIFY(writeFile(antennasPath, antennas));
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        watcher = std::make_unique<BrokerWatcher>(settings);
        QTRY_VERIFY(watcher->isConnected());
        run->start({"--logger-udp", QString::number(port), "--bands", bandsPath, "--antennas", antennasPath, "--mqtt",
                    QStringLiteral("127.0.0.1:%1").arg(broker->port()), "--port", "DEVICE"});
        QTRY_VERIFY(run->snapshot().power);
        QTRY_VERIFY(watcher->last("online") == "true");
    }

    void onBand(qint64 hz, const QString &label)
    {
        QVERIFY(StationRun::sendFrom("127.0.0.1", port, StationRun::radioInfo(hz, false)));
        QTRY_VERIFY(run->followLabel().startsWith(label));
    }

    QPushButton *key(int n) const { return run->linked->panel.child<QPushButton>(QStringLiteral("botaoTecla%1").arg(n)); }

    QList<QByteArray> commands() const
    {
        QList<QByteArray> selects;
        for (const QByteArray &frame : commandsAt(*run->linked->device))
            selects << frame.left(5);
        return selects;
    }

    // Selects as 5 bytes, split words as 7.
    QList<QByteArray> commandsShort() const
    {
        QList<QByteArray> words;
        for (const QByteArray &frame : commandsAt(*run->linked->device))
            words << frame.left(frame.startsWith("IGP") ? 7 : 5);
        return words;
    }

    QString spoken() const
    {
        const auto *notice = run->linked->window->findChild<SpokenNotice *>();
        return notice ? notice->text() : QString();
    }

    QList<QJsonObject> errorsSaid() const
    {
        QList<QJsonObject> reports;
        for (const BrokerWatcher::Message &message : watcher->on("error"))
            reports << QJsonDocument::fromJson(message.payload).object();
        return reports;
    }

    QList<bool> stateAllows() const
    {
        QList<bool> allowed;
        for (const QJsonValue &each :
             QJsonDocument::fromJson(watcher->last("state")).object().value("allowed").toArray())
            allowed << each.toBool();
        return allowed;
    }

    void setSending(bool sending)
    {
        SwitchState state = run->linked->device->state();
        state.sending = sending;
        run->linked->device->setState(state);
    }

    void moveFrontPanel(int position)
    {
        SwitchState state = run->linked->device->state();
        state.position = static_cast<quint8>(position);
        run->linked->device->setState(state);
        QTRY_COMPARE(int(run->snapshot().reported.position), position);
    }

    std::unique_ptr<LocalBroker> broker;
    std::unique_ptr<QTemporaryDir> files;
    QString bandsPath;
    QString antennasPath;
    quint16 port = 0;
    std::unique_ptr<StationRun> run;
    std::unique_ptr<BrokerWatcher> watcher;
};

QTEST_MAIN(tst_AntennaSafety)
#include "tst_antennasafety.moc"
