#pragma once

#include <QCommandLineOption>

class QCommandLineParser;

// The command-line option of unattended reconnect: --reconnect.
class ReconnectOptions
{
public:
    ReconnectOptions();

    void add(QCommandLineParser &parser) const;
    QList<QCommandLineOption> options() const { return {reconnectOption}; }
    bool enabled(const QCommandLineParser &parser) const;

private:
    QCommandLineOption reconnectOption;
};
