#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace QKeychain {
class Job;
}

// Names one broker password: the profile, the broker and the user.
struct BrokerSecretKey
{
    QString profile;  // empty: the default profile
    QString host;
    int port = 0;
    QString user;

    // The entry's name in the secret store: "mqtt://USER@HOST:PORT", with the
    // profile in front ("NAME/mqtt://...") for a named one. The user is
    // percent-encoded, so no two keys share a name.
    QString entryName() const;

    bool operator==(const BrokerSecretKey &other) const { return entryName() == other.entryName(); }
};

// The broker password in the desktop's secret store (the Secret Service on
// Linux, the credential store on Windows) through QtKeychain. Every call
// answers later through a signal, never by blocking. When no secret store
// answers (no D-Bus session, no keyring, a refusal, no answer in time), the
// password is kept in this object for the run and the answer says so; it is
// never written anywhere else, and never printed or logged.
class SecretStore : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Stored,     // in the secret store
        NotStored,  // the store answered: there is none (or it was removed)
        RunOnly,    // no store answered: held for this run only
    };
    Q_ENUM(State)

    static constexpr int defaultTimeoutMs = 20000;
    static QString serviceName() { return QStringLiteral("tqx5r-panel"); }

    explicit SecretStore(QObject *parent = nullptr);

    void read(const BrokerSecretKey &key);
    // An empty password removes the entry.
    void write(const BrokerSecretKey &key, const QString &password);
    void remove(const BrokerSecretKey &key);

    // How long a store may take to answer before the password is kept for
    // this run only. A late answer is then ignored.
    void setTimeoutMs(int ms) { timeoutMs = ms; }

signals:
    // Stored: password is the stored one; NotStored: empty; RunOnly: the
    // one kept for this run, if any, and message says why.
    void passwordRead(const BrokerSecretKey &key, SecretStore::State state, const QString &password,
                      const QString &message);
    // Stored, or RunOnly with the reason.
    void passwordWritten(const BrokerSecretKey &key, SecretStore::State state, const QString &message);
    // NotStored, or RunOnly when the store did not answer (an entry stored
    // earlier may then still be there).
    void passwordRemoved(const BrokerSecretKey &key, SecretStore::State state, const QString &message);

private:
    enum class Operation { Read, Write, Remove };
    void start(QKeychain::Job *job, Operation operation, const BrokerSecretKey &key, const QString &password);
    void finish(QKeychain::Job *job, Operation operation, const BrokerSecretKey &key, const QString &password,
                bool timedOut);

    int timeoutMs = defaultTimeoutMs;
    QHash<QString, QString> runOnly;
};

Q_DECLARE_METATYPE(BrokerSecretKey)
