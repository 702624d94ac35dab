#include "remote/BrokerBridge.h"

#include "link/Protocol.h"
#include "panel/SwitchSeam.h"
#include "remote/CommandJson.h"
#include "remote/StateJson.h"

namespace {
const QByteArray onlineTrue = QByteArrayLiteral("true");
const QByteArray onlineFalse = QByteArrayLiteral("false");
// A sender refused again within this is counted, not written to stderr.
constexpr qint64 refusalLogMs = 10000;
constexpr int refusalLogSenders = 64;
constexpr int longestLoggedSender = 64;

// A sender's name as the log shows it: on a broker that lets anyone write
// any command topic, the name is whatever they put there, and a line break
// or terminal escape in it must not forge lines of the log.
QString loggable(const QString &sender)
{
    const QVector<uint> codePoints = sender.toUcs4();
    QString shown;
    for (int i = 0; i < codePoints.size() && i < longestLoggedSender; ++i) {
        const uint c = codePoints[i];
        const QChar::Category category = QChar::category(c);
        const bool plain = QChar::isPrint(c) && category != QChar::Separator_Line
                           && category != QChar::Separator_Paragraph;
        shown += plain ? QString::fromUcs4(&c, 1) : QStringLiteral("?");
    }
    return codePoints.size() > longestLoggedSender ? shown + QStringLiteral("…") : shown;
}
}

BrokerBridge::BrokerBridge(SwitchSeam *seam, BrokerClient *client, const BrokerSettings &settings, QObject *parent)
    : QObject(parent)
    , seam(seam)
    , client(client)
    , settings(settings)
    , outage(new BrokerOutage(client, settings, this))
    , turnTimer(new QTimer(this))
{
    clock.start();
    turnTimer->setSingleShot(true);
    turnTimer->setTimerType(Qt::PreciseTimer);
    connect(turnTimer, &QTimer::timeout, this, &BrokerBridge::serveTurns);
    connect(seam, &SwitchSeam::stateChanged, this, [this](const SwitchSnapshot &snapshot) {
        if (snapshot.position == expectedPosition)
            expectedPosition = -1;
        publishState(false);
    });
    connect(seam, &SwitchSeam::frameDispatched, this, &BrokerBridge::frameDispatched);
    connect(seam, &SwitchSeam::keyAdviceChanged, this, [this] { publishState(false); });
    connect(client, &BrokerClient::connected, this, &BrokerBridge::brokerConnected);
    connect(outage, &BrokerOutage::lost, this, &BrokerBridge::announce);
    connect(client, &BrokerClient::refused, this, &BrokerBridge::announce);
    connect(client, &BrokerClient::messageReceived, this, &BrokerBridge::messageReceived);
}

void BrokerBridge::start()
{
    client->setWill(settings.topicFor(BrokerTopics::online), onlineFalse);
    // The publisher's retain flag comes through on live commands too, so a
    // retained one is refused when it arrives.
    client->subscribe(settings.topicFor(BrokerTopics::set), BrokerClient::RetainFlag::AsPublished);
    client->subscribe(settings.topicFor(BrokerTopics::set) + QStringLiteral("/+"), BrokerClient::RetainFlag::AsPublished);
    client->start();
}

void BrokerBridge::shutdown()
{
    if (!client->isRunning())
        return;
    // What stays on the broker after the panel has gone says so: no link, no
    // antenna in use, no firmware to show.
    SwitchSnapshot gone = seam->snapshot();
    gone.linkOpen = false;
    gone.power = false;
    client->publish(settings.topicFor(BrokerTopics::state), stateMessage(gone), true,
                    BrokerClient::Delivery::Acknowledged);
    client->publish(settings.topicFor(BrokerTopics::firmware), QByteArray(), true,
                    BrokerClient::Delivery::Acknowledged);
    client->publish(settings.topicFor(BrokerTopics::online), onlineFalse, true, BrokerClient::Delivery::Acknowledged);
    client->stop(shutdownFlushMs);
}

void BrokerBridge::setBand(const QString &newBand)
{
    band = newBand;
    publishState(false);
}

void BrokerBridge::tellWarning(const QString &text)
{
    client->publish(settings.topicFor(BrokerTopics::error), CommandJson::warningMessage(text), false,
                    BrokerClient::Delivery::AtMostOnce);
}

QByteArray BrokerBridge::stateMessage(const SwitchSnapshot &snapshot) const
{
    // Which antennas are for the band, only where antenna rules say so.
    const SwitchSeam::KeyAdvice &advice = seam->keyAdvice();
    return StateJson::fromSnapshot(snapshot, band,
                                   advice.given ? std::optional<quint8>(advice.allowedMask) : std::nullopt);
}

void BrokerBridge::brokerConnected()
{
    // The switch may have answered before this bridge was made (a broker
    // set up while connected, or whose password came late from the store).
    if (firmwareFrame.isEmpty() && seam->snapshot().firmwareKnown) {
        const SwitchSnapshot &snapshot = seam->snapshot();
        firmwareFrame = QByteArray("IGW") + char(snapshot.firmwareMajor) + char(snapshot.firmwareMinor)
                        + Protocol::terminator;
    }
    const QString text = tr("Publishing TQX-5R on the broker %1 under %2").arg(settings.address(), settings.topic);
    if (outage->wasTold())
        emit announce(text);
    else
        emit note(text);
    outage->reset();
    // The broker may have restarted without its retained messages.
    client->publish(settings.topicFor(BrokerTopics::online), onlineTrue, true, BrokerClient::Delivery::Acknowledged);
    publishFirmware();
    publishState(true);
}

SwitchSnapshot BrokerBridge::switchAfterQueuedWords() const
{
    SwitchSnapshot snapshot = seam->snapshot();
    if (expectedPosition >= 0 && clock.elapsed() - expectedSinceMs <= expectedPositionMs)
        snapshot.position = static_cast<quint8>(expectedPosition);
    return snapshot;
}

void BrokerBridge::publishState(bool evenIfUnchanged)
{
    const QByteArray state = stateMessage(seam->snapshot());
    if (state == publishedState && !evenIfUnchanged)
        return;
    // A state that could not go out is tried again with the next frame.
    stateBehind = !client->publish(settings.topicFor(BrokerTopics::state), state, true,
                                   BrokerClient::Delivery::Acknowledged);
    if (!stateBehind)
        publishedState = state;
}

void BrokerBridge::publishFirmware()
{
    if (!firmwareFrame.isEmpty()) {
        client->publish(settings.topicFor(BrokerTopics::firmware), firmwareFrame, true,
                        BrokerClient::Delivery::Acknowledged);
    }
}

void BrokerBridge::frameDispatched(const QByteArray &frame)
{
    client->publish(settings.topicFor(BrokerTopics::frames), frame, false, BrokerClient::Delivery::AtMostOnce);
    // A remote panel that attaches later still learns the firmware revision.
    if (frame.size() >= Protocol::firmwareFrameLength && frame.at(2) == Protocol::firmwareType
        && frame != firmwareFrame) {
        firmwareFrame = frame;
        publishFirmware();
    }
    if (stateBehind)
        publishState(false);
}

QString BrokerBridge::senderOf(const QString &topic) const
{
    const QString shared = settings.topicFor(BrokerTopics::set);
    if (topic == shared)
        return QStringLiteral("");
    const QString personal = shared + QLatin1Char('/');
    if (topic.startsWith(personal) && topic.size() > personal.size() && !topic.midRef(personal.size()).contains('/'))
        return topic.mid(personal.size());
    return QString();
}

void BrokerBridge::messageReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    const QString sender = senderOf(topic);
    if (sender.isNull())
        return;
    // A retained command would be carried out again at every reconnect.
    if (retained) {
        refuseCommand(tr("retained commands are not carried out"), payload, sender);
        return;
    }
    // A split or rotor word names the antenna in use: after a select just
    // queued, that is the one selected, not the one the switch still reports.
    const SwitchSnapshot snapshot = switchAfterQueuedWords();
    const CommandJson::Outcome outcome = CommandJson::parse(payload, snapshot);
    if (!outcome.error.isEmpty()) {
        refuseCommand(outcome.error, payload, sender);
        return;
    }
    if (outcome.words.isEmpty())
        return;
    if (!turns.offer({sender, payload, outcome.words})) {
        refuseCommand(tr("too many commands at once; the switch takes about three a second"), payload, sender);
        return;
    }
    for (CommandWord word : outcome.words) {
        if (Protocol::commandLetter(word) == Protocol::selectLetter && !snapshot.splitOn) {
            expectedPosition = Protocol::commandOperand(word);
            expectedSinceMs = clock.elapsed();
        }
    }
    serveTurns();
}

void BrokerBridge::serveTurns()
{
    while (const std::optional<CommandTurns::Command> command = turns.take(clock.elapsed())) {
        // Judged as the keys' words are, when they are queued: refused, or
        // sent with a warning, the sender and the operator are told.
        const SwitchSeam::WordVerdict verdict = seam->checkWords(command->words);
        if (!verdict.text.isEmpty())
            emit announce(verdict.text);
        if (!verdict.send) {
            expectedPosition = -1;
            refuseCommand(verdict.text, command->message, command->sender);
            continue;
        }
        if (!verdict.text.isEmpty()) {
            client->publish(settings.topicFor(BrokerTopics::error),
                            CommandJson::warningMessage(verdict.text, command->message, command->sender), false,
                            BrokerClient::Delivery::AtMostOnce);
        }
        for (CommandWord word : command->words) {
            if (!seam->queueWord(word)) {
                refuseCommand(tr("too many commands are waiting for the switch"), command->message, command->sender);
                break;
            }
        }
    }
    const qint64 waitMs = turns.msUntilNext(clock.elapsed());
    if (waitMs >= 0)
        turnTimer->start(static_cast<int>(waitMs));
}

void BrokerBridge::refuseCommand(const QString &reason, const QByteArray &command, const QString &sender)
{
    client->publish(settings.topicFor(BrokerTopics::error), CommandJson::errorMessage(reason, command, sender), false,
                    BrokerClient::Delivery::AtMostOnce);
    // Who was refused, for whoever reads the log; a flood writes one line
    // now and then with the count of the others.
    const qint64 nowMs = clock.elapsed();
    if (refusalLog.size() >= refusalLogSenders && !refusalLog.contains(sender))
        refusalLog.clear();
    RefusalLog &logged = refusalLog[sender];
    if (logged.writtenAtMs >= 0 && nowMs - logged.writtenAtMs < refusalLogMs) {
        ++logged.unwritten;
        return;
    }
    const QString who = sender.isEmpty() ? tr("on %1").arg(settings.topicFor(BrokerTopics::set))
                                         : tr("from %1").arg(loggable(sender));
    const QString more = logged.unwritten > 0 ? tr(" (%n more refused since the last one said)", nullptr, logged.unwritten)
                                              : QString();
    emit note(tr("Refused a command %1: %2%3").arg(who, reason, more));
    logged = RefusalLog{nowMs, 0};
}
