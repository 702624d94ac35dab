#pragma once

#include "settings/SecretStore.h"
#include "settings/StationSettings.h"

#include <QDialog>
#include <QPointer>


namespace Ui {
class BrokerDialog;
}

// Broker Settings: off, publishing this switch, or showing a switch from the
// broker as a remote panel; where the broker is, the base topic, the login,
// TLS and Home Assistant discovery. The password goes to the secret store
// (when one answers) and never into the settings: the dialog hands it back on
// its own. Wrong fields say why beside them, and OK waits until they are good.
class BrokerDialog : public QDialog
{
    Q_OBJECT

public:
    // What could not be saved of what applied() handed over: said in the
    // dialog, which then stays open. Called from a slot of applied().
    void setSaveProblem(const QString &problem);

    // Without a store, the password is kept for this run only, and the
    // dialog says so.
    explicit BrokerDialog(SecretStore *store, const QString &profile = QString(), QWidget *parent = nullptr);
    ~BrokerDialog() override;

    // Fills the fields and asks the secret store for the password of this
    // broker and user.
    void setSettings(const BrokerSettings &settings);
    BrokerSettings settings() const;
    QString password() const;
    bool acceptable() const;

    // The secret store's entry for these settings.
    BrokerSecretKey secretKey(const BrokerSettings &settings) const;

signals:
    // OK or Apply with every field good. The password is the one typed or
    // read; it is also handed to the secret store when it changed.
    void applied(const BrokerSettings &settings, const QString &password);

private:
    void chooseCaFile();
    void apply();
    void passwordRead(const BrokerSecretKey &key, SecretStore::State state, const QString &password,
                      const QString &message);
    void passwordSaved(const BrokerSecretKey &key, SecretStore::State state, const QString &message);
    void showPasswordState(SecretStore::State state, const QString &message);
    void updateFields();
    void validate();

    Ui::BrokerDialog *ui = nullptr;
    QPointer<SecretStore> store;
    QString profile;
    BrokerSettings base;
    // What the store holds for savedKey, as far as this dialog knows.
    BrokerSecretKey savedKey;
    QString savedPassword;
    bool passwordTyped = false;
    QString saveProblem;
};
