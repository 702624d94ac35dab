#include "remote/CommandTurns.h"

#include <algorithm>

bool CommandTurns::offer(const Command &command)
{
    const int words = command.words.size();
    if (words == 0)
        return true;
    auto line = std::find_if(lines.begin(), lines.end(), [&](const Line &l) { return l.sender == command.sender; });
    if (line == lines.end()) {
        if (words > burstWords || lines.size() >= maxSenders)
            return false;
        lines.append(Line{command.sender, {command}, words});
        return true;
    }
    if (line->words + words > burstWords)
        return false;
    line->commands.append(command);
    line->words += words;
    return true;
}

std::optional<CommandTurns::Command> CommandTurns::take(qint64 nowMs)
{
    if (lines.isEmpty() || msUntilNext(nowMs) > 0)
        return std::nullopt;
    Line line = lines.takeFirst();
    Command command = line.commands.takeFirst();
    line.words -= command.words.size();
    // The line goes to the back, so every other sender has a turn first.
    if (!line.commands.isEmpty())
        lines.append(line);
    // A pause longer than a turn does not save turns up: after it, words
    // leave at the switch's pace again.
    nextTurnMs = std::max(nextTurnMs, nowMs) + command.words.size() * wordMs;
    return command;
}

qint64 CommandTurns::msUntilNext(qint64 nowMs) const
{
    if (lines.isEmpty())
        return -1;
    return std::max<qint64>(0, nextTurnMs - nowMs);
}

int CommandTurns::waitingWords(const QString &sender) const
{
    for (const Line &line : lines) {
        if (line.sender == sender)
            return line.words;
    }
    return 0;
}
