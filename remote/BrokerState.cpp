#include "remote/BrokerState.h"

#include "remote/BrokerClient.h"

BrokerState::BrokerState(BrokerClient *client, const BrokerSettings &settings, QObject *parent)
    : QObject(parent)
    , settings(settings)
    , currentDetail(tr("Connecting to the broker %1").arg(settings.address()))
{
    connect(client, &BrokerClient::connected, this, [this] {
        set(State::Connected, this->settings.user.isEmpty()
                                  ? tr("Connected to the broker %1, topic %2").arg(this->settings.address(), this->settings.topic)
                                  : tr("Connected to the broker %1 as %2, topic %3")
                                        .arg(this->settings.address(), this->settings.user, this->settings.topic));
    });
    connect(client, &BrokerClient::loginRefused, this, [this](const QString &reason) {
        set(State::LoginRefused, tr("The broker %1 refused the login%2: %3. Check the user and password.")
                                     .arg(this->settings.address(),
                                          this->settings.user.isEmpty() ? QString() : tr(" of %1").arg(this->settings.user),
                                          reason));
    });
    // A refused login ends the connection too; what the broker said stands.
    connect(client, &BrokerClient::disconnected, this, [this](const QString &reason) {
        if (current != State::LoginRefused)
            set(State::NotReachable, tr("Lost the broker %1: %2; reconnecting").arg(this->settings.address(), reason));
    });
    connect(client, &BrokerClient::connectFailed, this, [this](const QString &reason) {
        set(State::NotReachable, tr("Cannot reach the broker %1: %2; trying again").arg(this->settings.address(), reason));
    });
}

QString BrokerState::labelOf(State state)
{
    switch (state) {
    case State::Connecting:
        return tr("Broker: connecting");
    case State::Connected:
        return tr("Broker: connected");
    case State::LoginRefused:
        return tr("Broker: login refused");
    case State::NotReachable:
        break;
    }
    return tr("Broker: not reachable, retrying");
}

void BrokerState::set(State state, const QString &detail)
{
    if (state == current && detail == currentDetail)
        return;
    current = state;
    currentDetail = detail;
    emit changed();
}
