#include "app/StationCommandLine.h"

#include "settings/StationKeys.h"

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
    const QStringList mistakes = commandLine.parse(arguments);
    if (!mistakes.isEmpty()) {
        *refusal = mistakes.join(QLatin1Char(' ')) + QLatin1Char(' ') + CommandLine::usage();
        return false;
    }
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
    overrides.values.reconnect = reconnectOptions.enabled(parser);

    QStringList problems;
    const BandFollowOptions::Given follow = bandFollowOptions.read(parser, problems);
    overrides.values.bandFollow = follow.settings;
    overrides.bandMemoryPath = follow.memoryPath;
    overrides.antennasPath = follow.antennasPath;

    const bool brokerAsked = parser.isSet(QStringLiteral("mqtt")) || parser.isSet(QStringLiteral("remote"));
    const std::optional<BrokerSettings> broker = remoteOptions.read(parser, &problems);
    if (broker) {
        overrides.values.broker = *broker;
        overrides.brokerPassword = broker->password;
    }

    const QHash<QString, QStringList> keysOf = optionKeys();
    for (auto option = keysOf.cbegin(); option != keysOf.cend(); ++option) {
        if (parser.isSet(option.key()))
            overrides.give(option.value());
    }
    // A bad value keeps the feature off for this run, whatever is remembered.
    if (follow.refused) {
        overrides.forget(StationKeys::bandFollowKeys());
        overrides.values.bandFollow.enabled = false;
        overrides.give({StationKeys::Name::followEnabled});
    }
    if (brokerAsked && !broker) {
        overrides.forget(StationKeys::brokerKeys());
        overrides.values.broker.mode = BrokerSettings::Mode::Off;
        overrides.give({StationKeys::Name::brokerMode});
    }

    if (broker && broker->remotePanel() && !overrides.port.isEmpty())
        problems << QStringLiteral("--port is ignored by a remote panel, which never opens a serial port.");
    for (const QString &problem : problems)
        CommandLine::warn(problem);
    return true;
}

QStringList StationCommandLine::optionNames() const
{
    QStringList names;
    QList<QCommandLineOption> all = commandLine.options();
    all << profileOption << headlessOption << reconnectOptions.options() << bandFollowOptions.options()
        << remoteOptions.options();
    for (const QCommandLineOption &option : all)
        names << option.names().last();
    return names;
}

QHash<QString, QStringList> StationCommandLine::optionKeys()
{
    QStringList sources = StationKeys::bandFollowSourceKeys();
    sources << StationKeys::Name::followEnabled;
    return {
        {QStringLiteral("rig-model"), sources},
        {QStringLiteral("logger-udp"), sources},
        {QStringLiteral("logger-from"), {StationKeys::Name::allowedSenders}},
        {QStringLiteral("logger-radio"), {StationKeys::Name::loggerRadio}},
        {QStringLiteral("follow-hang"), {StationKeys::Name::hangMs}},
        {QStringLiteral("reconnect"), {StationKeys::Name::reconnect}},
        {QStringLiteral("mqtt"), StationKeys::brokerKeys()},
        {QStringLiteral("remote"), StationKeys::brokerKeys()},
    };
}
