#include "app/StationCommandLine.h"

#include <cstring>

StationCommandLine::StationCommandLine()
    : profileOption(QStringLiteral("profile"),
                    QStringLiteral("Use the settings, band memory and captions of profile NAME, so one "
                                   "computer can run a panel for each of several switches."),
                    QStringLiteral("NAME"))
    , headlessOption(QStringLiteral("headless"),
                     QStringLiteral("Run without a window or a display, as a service: every status text "
                                    "and message goes to stderr. Needs --port or a remembered Connect at "
                                    "Start."))
{
    QCommandLineParser &parser = commandLine.parser();
    parser.addOption(profileOption);
    parser.addOption(headlessOption);
    reconnectOptions.add(parser);
    bandFollowOptions.add(parser);
    remoteOptions.add(parser);
}

bool StationCommandLine::asksForHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "-headless") == 0)
            return true;
    }
    return false;
}

bool StationCommandLine::read(const QStringList &arguments, Station::Options *options, QString *refusal)
{
    commandLine.parse(arguments);
    const QCommandLineParser &parser = commandLine.parser();

    options->profile = parser.value(profileOption);
    if (parser.isSet(profileOption)) {
        const QString problem = StationProfile::nameProblem(options->profile);
        if (!problem.isEmpty()) {
            *refusal = QStringLiteral("--profile: %1").arg(problem);
            return false;
        }
    }
    options->headless = parser.isSet(headlessOption);

    StationOverrides &overrides = options->overrides;
    overrides.port = commandLine.port();
    overrides.reconnect = reconnectOptions.enabled(parser);

    QStringList problems;
    const std::optional<BandFollowSettings> follow = bandFollowOptions.read(parser, problems);
    if (!follow) {
        overrides.bandFollow = StationOverrides::Given::Refused;
    } else {
        if (follow->hasSource())
            overrides.setBandFollow(*follow);
        overrides.bandMemoryPath = follow->memoryPath;
        if (bandFollowOptions.hangGiven(parser))
            overrides.hangMs = follow->hangMs;
        if (bandFollowOptions.radioGiven(parser))
            overrides.loggerRadio = follow->loggerRadio;
        if (bandFollowOptions.sendersGiven(parser)) {
            QStringList senders;
            for (const AllowedSender &sender : follow->loggerSenders.allowed())
                senders << sender.toString();
            overrides.allowedSenders = senders;
        }
    }

    const bool brokerAsked = parser.isSet(QStringLiteral("mqtt")) || parser.isSet(QStringLiteral("remote"));
    const std::optional<BrokerSettings> broker = remoteOptions.read(parser, &problems);
    if (broker)
        overrides.setBroker(*broker);
    else if (brokerAsked)
        overrides.broker = StationOverrides::Given::Refused;

    if (broker && broker->remotePanel && !overrides.port.isEmpty())
        problems << QStringLiteral("--port is ignored by a remote panel, which never opens a serial port.");
    for (const QString &problem : problems)
        CommandLine::warn(problem);
    return true;
}
