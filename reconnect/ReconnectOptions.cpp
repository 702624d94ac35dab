#include "reconnect/ReconnectOptions.h"

#include <QCommandLineParser>

ReconnectOptions::ReconnectOptions()
    : reconnectOption(QStringLiteral("reconnect"),
                      QStringLiteral("When the serial device is lost (an adapter unplugged or reset), "
                                     "show no box and open the port again on its own: after 1 s, then "
                                     "backing off to every 5 s, also when a USB adapter comes back under "
                                     "another name; a port that opens but stays silent three times in a "
                                     "row is tried once a minute. Disconnect stops the tries. Losses and "
                                     "reconnects are logged on stderr."))
{
}

void ReconnectOptions::add(QCommandLineParser &parser) const
{
    parser.addOption(reconnectOption);
}

bool ReconnectOptions::enabled(const QCommandLineParser &parser) const
{
    return parser.isSet(reconnectOption);
}
