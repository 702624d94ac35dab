#include "settings/SecretStore.h"

#include <qt5keychain/keychain.h>

#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

QString unavailable(const QString &reason)
{
    return SecretStore::tr("No secret store answers (%1); the password is kept for this run only.").arg(reason);
}

QString refused(const QString &reason)
{
    return SecretStore::tr("The secret store refused (%1); the password is kept for this run only.").arg(reason);
}

// The error text QtKeychain gives, or a word of our own when it has none.
QString reason(const QKeychain::Job *job)
{
    const QString text = job->errorString().trimmed();
    return text.isEmpty() ? SecretStore::tr("error %1").arg(static_cast<int>(job->error())) : text;
}

} // namespace

QString BrokerSecretKey::entryName() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    const QString name = QStringLiteral("mqtt://%1@%2:%3")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(user)), shownHost)
                             .arg(port);
    return profile.isEmpty() ? name : profile + QLatin1Char('/') + name;
}

SecretStore::SecretStore(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<BrokerSecretKey>();
    qRegisterMetaType<SecretStore::State>();
}

void SecretStore::read(const BrokerSecretKey &key)
{
    start(new QKeychain::ReadPasswordJob(serviceName()), Operation::Read, key, QString());
}

void SecretStore::write(const BrokerSecretKey &key, const QString &password)
{
    if (password.isEmpty()) {
        remove(key);
        return;
    }
    auto *job = new QKeychain::WritePasswordJob(serviceName());
    job->setTextData(password);
    start(job, Operation::Write, key, password);
}

void SecretStore::remove(const BrokerSecretKey &key)
{
    runOnly.remove(key.entryName());
    start(new QKeychain::DeletePasswordJob(serviceName()), Operation::Remove, key, QString());
}

void SecretStore::start(QKeychain::Job *job, Operation operation, const BrokerSecretKey &key, const QString &password)
{
    job->setKey(key.entryName());
    // Never a plain-text copy in a settings file when no store answers.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);

    // Whichever comes first, the answer or the time-out, is taken once.
    auto answered = std::make_shared<bool>(false);
    QPointer<QKeychain::Job> guard(job);
    connect(job, &QKeychain::Job::finished, this, [this, operation, key, password, answered](QKeychain::Job *done) {
        if (*answered)
            return;
        *answered = true;
        finish(done, operation, key, password, false);
    });
    QTimer::singleShot(timeoutMs, this, [this, operation, key, password, answered, guard] {
        if (*answered)
            return;
        *answered = true;
        // A job still waiting in QtKeychain's queue deletes itself when it
        // ends; only this object stops listening.
        if (guard)
            disconnect(guard, nullptr, this, nullptr);
        finish(nullptr, operation, key, password, true);
    });
    job->start();
}

void SecretStore::finish(QKeychain::Job *job, Operation operation, const BrokerSecretKey &key,
                         const QString &password, bool timedOut)
{
    const QString name = key.entryName();
    const QKeychain::Error error = timedOut ? QKeychain::OtherError : job->error();
    QString whyNot;
    if (timedOut)
        whyNot = unavailable(tr("no answer within %1 s").arg(timeoutMs / 1000.0));
    else if (error == QKeychain::AccessDenied || error == QKeychain::AccessDeniedByUser)
        whyNot = refused(reason(job));
    else if (error != QKeychain::NoError && error != QKeychain::EntryNotFound)
        whyNot = unavailable(reason(job));

    switch (operation) {
    case Operation::Read:
        if (whyNot.isEmpty() && error == QKeychain::NoError) {
            const QString stored = static_cast<QKeychain::ReadPasswordJob *>(job)->textData();
            runOnly.remove(name);
            emit passwordRead(key, State::Stored, stored, QString());
        } else if (whyNot.isEmpty() && !runOnly.contains(name)) {
            emit passwordRead(key, State::NotStored, QString(), QString());
        } else {
            // A password typed earlier in this run that no store took.
            emit passwordRead(key, State::RunOnly, runOnly.value(name),
                              whyNot.isEmpty() ? tr("The password is kept for this run only.") : whyNot);
        }
        break;
    case Operation::Write:
        if (whyNot.isEmpty()) {
            runOnly.remove(name);
            emit passwordWritten(key, State::Stored, QString());
        } else {
            runOnly.insert(name, password);
            emit passwordWritten(key, State::RunOnly, whyNot);
        }
        break;
    case Operation::Remove:
        if (whyNot.isEmpty())
            emit passwordRemoved(key, State::NotStored, QString());
        else
            emit passwordRemoved(key, State::RunOnly,
                                 tr("The secret store did not take the removal (%1); a password stored there earlier "
                                    "may still be there.").arg(timedOut ? tr("no answer") : reason(job)));
        break;
    }
}
