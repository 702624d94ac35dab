#pragma once

#include "remote/BrokerSettings.h"

#include <QObject>
#include <QString>

class BrokerClient;

// How the panel's broker stands, as its client reports it: a few words for
// the status bar ("Broker: login refused") and the detail behind them for a
// tooltip and a screen reader.
class BrokerState : public QObject
{
    Q_OBJECT

public:
    enum class State { Connecting, Connected, LoginRefused, NotReachable };

    BrokerState(BrokerClient *client, const BrokerSettings &settings, QObject *parent = nullptr);

    State state() const { return current; }
    QString label() const { return labelOf(current); }
    QString detail() const { return currentDetail; }

    static QString labelOf(State state);

signals:
    void changed();

private:
    void set(State state, const QString &detail);

    BrokerSettings settings;
    State current = State::Connecting;
    QString currentDetail;
};
