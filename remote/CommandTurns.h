#pragma once

#include "link/Protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <optional>

// Commands from the broker on their way to the panel's queue, one line of
// waiting commands per sender (the user the broker vouches for, or "" for
// whoever writes the shared command topic). The lines take turns: at most one
// word leaves per wordMs in all, which is as fast as the switch takes words
// from features (a command, a poll more than 150 ms later, the next command),
// and each turn goes to the next line that has something waiting. A sender's
// line holds at most burstWords words; beyond that the sender is refused. So
// one sender alone gets a burst of ten words and then about three a second,
// while a sender who floods fills only their own line: another sender's
// command waits at most one turn of each other line. Times are milliseconds
// of a monotonic clock.
class CommandTurns
{
public:
    static constexpr int burstWords = 10;
    static constexpr qint64 wordMs = 300;
    // Senders with something waiting at once; a broker open to anyone could
    // otherwise be handed a line per made-up name.
    static constexpr int maxSenders = 32;

    struct Command
    {
        QString sender;
        QByteArray message;          // as it came, for an error report
        QVector<CommandWord> words;  // one or more
    };

    // False, and nothing changes, when the sender's line has no room for the
    // command's words (or there are too many lines to open another).
    bool offer(const Command &command);
    // The command whose turn it is at nowMs, if any; it leaves its line.
    std::optional<Command> take(qint64 nowMs);
    // How long until take() yields a command; -1 while nothing waits.
    qint64 msUntilNext(qint64 nowMs) const;
    // The words waiting in sender's line.
    int waitingWords(const QString &sender) const;

private:
    struct Line
    {
        QString sender;
        QList<Command> commands;
        int words = 0;
    };

    QList<Line> lines; // the next turn goes to the first
    qint64 nextTurnMs = -1;
};
