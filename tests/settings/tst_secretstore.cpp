#include "settings/BrokerDialog.h"
#include "settings/SecretStore.h"
#include "settings/StationProfile.h"
#include "settings/StationSettingsFile.h"
#include "support/Files.h"
#include "support/PrivateKeyring.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Run with TQX5R_SECRET_STORE=none: no session bus at all, so no secret
// store can answer. Otherwise the test brings its own.
bool withoutStore()
{
    return qEnvironmentVariable("TQX5R_SECRET_STORE") == QLatin1String("none");
}

QStringList messages;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages << text;
}

BrokerSecretKey key(const QString &profile, const QString &user)
{
    return BrokerSecretKey{profile, QStringLiteral("broker.lan"), 1883, user};
}

// Makes the call and gives the arguments of the signal it brings, at once or
// within the time-out.
QList<QVariant> answer(QSignalSpy &spy, const std::function<void()> &call, int timeoutMs = 10000)
{
    const int before = spy.count();
    call();
    const bool came = spy.count() > before || spy.wait(timeoutMs);
    QTest::qVerify(came, "answer", "the store did not answer", __FILE__, __LINE__);
    return came ? spy.last() : QList<QVariant>();
}

SecretStore::State stateOf(const QList<QVariant> &arguments)
{
    return arguments.value(1).value<SecretStore::State>();
}

} // namespace

// The broker password in a real Secret Service (GNOME's keyring on a private
// D-Bus session), and with no secret store at all: kept for the run, said so,
// and never in the settings file, another file or a message.
class tst_SecretStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
        qunsetenv("DISPLAY");
        if (withoutStore()) {
            // Nothing listens there; no bus is started on the side either.
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(home.filePath("no-bus-here")));
        } else {
            keyring = std::make_unique<PrivateKeyring>();
            QVERIFY2(keyring->start(), qPrintable(keyring->errorString()));
        }
        qInstallMessageHandler(keepMessage);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(nullptr);
        keyring.reset();
    }

    void storeReadAndRemove()
    {
        if (withoutStore())
            QSKIP("needs the keyring");
        SecretStore store;
        QSignalSpy read(&store, &SecretStore::passwordRead);
        QSignalSpy written(&store, &SecretStore::passwordWritten);
        QSignalSpy removed(&store, &SecretStore::passwordRemoved);
        QCOMPARE(stateOf(answer(written, [&] { store.write(key("", "op"), "first secret"); })), SecretStore::State::Stored);
        QCOMPARE(stateOf(answer(written, [&] { store.write(key("contest", "op"), "contest secret"); })),
                 SecretStore::State::Stored);

        // Each profile, broker and user has an entry of its own.
        const QList<QPair<BrokerSecretKey, QString>> expected{{key("", "op"), "first secret"},
                                                               {key("contest", "op"), "contest secret"},
                                                               {key("", "op2"), ""},
                                                               {BrokerSecretKey{"", "broker.lan", 8883, "op"}, ""}};
        for (const auto &entry : expected) {
            const QList<QVariant> got = answer(read, [&] { store.read(entry.first); });
            QCOMPARE(got.value(2).toString(), entry.second);
            QCOMPARE(stateOf(got), entry.second.isEmpty() ? SecretStore::State::NotStored : SecretStore::State::Stored);
        }

        // A new object (a new run) finds it; an empty password removes it.
        SecretStore later;
        QSignalSpy laterRead(&later, &SecretStore::passwordRead);
        QCOMPARE(answer(laterRead, [&] { later.read(key("", "op")); }).value(2).toString(), QString("first secret"));
        QCOMPARE(stateOf(answer(removed, [&] { store.write(key("", "op"), QString()); })), SecretStore::State::NotStored);
        QCOMPARE(stateOf(answer(read, [&] { store.read(key("", "op")); })), SecretStore::State::NotStored);
    }

    // The dialog shows what the store holds, stores what is typed, and the
    // password reaches neither the settings file nor any other file or message.
    void dialogAndSettingsFile()
    {
        const QByteArray secret = "Zq8!never-in-a-file";
        StationSettings settings;
        settings.broker.mode = BrokerSettings::Mode::Publish;
        settings.broker.host = "broker.lan";
        settings.broker.user = "shack";

        SecretStore store;
        QSignalSpy written(&store, &SecretStore::passwordWritten);
        BrokerDialog dialog(&store, "station");
        QSignalSpy applied(&dialog, &BrokerDialog::applied);
        QLabel *state = dialog.findChild<QLabel *>("passwordStateLabel");
        dialog.setSettings(settings.broker);
        const QString before = withoutStore() ? "No secret store answers" : "No password is stored";
        QTRY_VERIFY2_WITH_TIMEOUT(state->text().contains(before), qPrintable(state->text()), 10000);

        dialog.show();
        QTest::keyClicks(dialog.findChild<QLineEdit *>("passwordEdit"), QString::fromLatin1(secret));
        QTest::mouseClick(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(applied.first()[1].toString(), QString::fromLatin1(secret));
        QVERIFY(written.count() == 1 || written.wait(10000));
        const QString after = withoutStore() ? "kept for this run only" : "kept in the secret store";
        QTRY_VERIFY2_WITH_TIMEOUT(state->text().contains(after), qPrintable(state->text()), 10000);

        StationSettingsFile file(StationProfile::paths("station").settingsFile);
        QVERIFY(file.save(applied.first()[0].value<BrokerSettings>() == settings.broker ? settings : StationSettings()));
        QVERIFY(QFile(file.path()).size() > 0);
        QCOMPARE(filesHolding(home.path(), secret), QStringList());
        for (const QString &message : messages)
            QVERIFY2(!message.contains(QString::fromLatin1(secret)), qPrintable(message));

        // Opened again in this run: the password comes back, from the store
        // or from this run's memory.
        BrokerDialog again(&store, "station");
        again.setSettings(settings.broker);
        QTRY_COMPARE_WITH_TIMEOUT(again.password(), QString::fromLatin1(secret), 10000);
    }

    void noStoreKeepsItForTheRun()
    {
        if (!withoutStore())
            QSKIP("needs no session bus");
        SecretStore store;
        QSignalSpy read(&store, &SecretStore::passwordRead);
        QSignalSpy written(&store, &SecretStore::passwordWritten);
        QSignalSpy removed(&store, &SecretStore::passwordRemoved);
        const QList<QVariant> write = answer(written, [&] { store.write(key("", "op"), "run only"); });
        QCOMPARE(stateOf(write), SecretStore::State::RunOnly);
        QVERIFY(write.value(2).toString().contains("No secret store answers"));
        QVERIFY(write.value(2).toString().contains("kept for this run only"));

        const QList<QVariant> kept = answer(read, [&] { store.read(key("", "op")); });
        QCOMPARE(stateOf(kept), SecretStore::State::RunOnly);
        QCOMPARE(kept.value(2).toString(), QString("run only"));
        QCOMPARE(answer(read, [&] { store.read(key("", "other")); }).value(2).toString(), QString());
        QCOMPARE(stateOf(answer(removed, [&] { store.remove(key("", "op")); })), SecretStore::State::RunOnly);
        QCOMPARE(answer(read, [&] { store.read(key("", "op")); }).value(2).toString(), QString());
    }

    // A keyring that hangs never holds anything up: after the time-out the
    // password is kept for the run and a later read gets it.
    void hangingStoreTimesOut()
    {
        if (withoutStore())
            QSKIP("needs the keyring");
        keyring->pause();
        SecretStore store;
        store.setTimeoutMs(500);
        QSignalSpy read(&store, &SecretStore::passwordRead);
        QSignalSpy written(&store, &SecretStore::passwordWritten);
        const QList<QVariant> write = answer(written, [&] { store.write(key("hang", "op"), "while hung"); }, 5000);
        QCOMPARE(stateOf(write), SecretStore::State::RunOnly);
        QVERIFY2(write.value(2).toString().contains("no answer within 0.5 s"), qPrintable(write.value(2).toString()));
        const QList<QVariant> kept = answer(read, [&] { store.read(key("hang", "op")); }, 5000);
        QCOMPARE(stateOf(kept), SecretStore::State::RunOnly);
        QCOMPARE(kept.value(2).toString(), QString("while hung"));
        keyring->resume();
        // Late answers change nothing.
        QTest::qWait(300);
        QCOMPARE(written.count(), 1);
        QCOMPARE(read.count(), 1);
    }

private:
    QTemporaryDir home;
    std::unique_ptr<PrivateKeyring> keyring;
};

QTEST_MAIN(tst_SecretStore)
#include "tst_secretstore.moc"
