#include "panel/SwitchSeam.h"

#include <QStringList>

SwitchSeam::SwitchSeam(QueueWord queueWord, QObject *parent)
    : QObject(parent)
    , queue(std::move(queueWord))
{
    qRegisterMetaType<SwitchSnapshot>();
    qRegisterMetaType<SwitchReport>();
}

void SwitchSeam::update(const SwitchSnapshot &snapshot)
{
    if (snapshot == current)
        return;
    current = snapshot;
    emit stateChanged(current);
}

void SwitchSeam::dispatched(const QByteArray &frame)
{
    emit frameDispatched(frame);
}

void SwitchSeam::reported(const SwitchReport &report)
{
    emit statusReported(report);
}

void SwitchSeam::wantStatusAt(std::optional<qint64> atMs)
{
    emit statusWanted(atMs);
}

void SwitchSeam::selected(int position)
{
    emit operatorSelected(position);
}

SwitchSeam::WordVerdict SwitchSeam::checkWords(const QVector<CommandWord> &words) const
{
    // The check may replace itself while it runs (it reads its rules again).
    const WordCheck check = wordCheck;
    WordVerdict all;
    if (!check)
        return all;
    QStringList texts;
    for (CommandWord word : words) {
        const WordVerdict verdict = check(word);
        if (!verdict.send)
            return verdict;
        if (!verdict.text.isEmpty())
            texts << verdict.text;
    }
    all.text = texts.join(QStringLiteral("; "));
    return all;
}

void SwitchSeam::setKeyAdvice(const KeyAdvice &newAdvice)
{
    if (newAdvice == advice)
        return;
    advice = newAdvice;
    emit keyAdviceChanged();
}

bool SwitchSeam::queueWord(qint16 word)
{
    return queue && queue(word);
}

void SwitchSeam::setGuard(Guard newGuard)
{
    guard = std::move(newGuard);
}

void SwitchSeam::placeGuardedWord(CommandWord word)
{
    if (guarded == word)
        return;
    guarded = word;
    guardedReady.store(false);
    emit guardedWordChanged();
}

void SwitchSeam::withdrawGuardedWord()
{
    if (!guarded)
        return;
    guarded.reset();
    guardedReady.store(false);
    emit guardedWordChanged();
}

void SwitchSeam::setGuardedWordReady(bool ready)
{
    setReady(ready && guarded.has_value());
}

void SwitchSeam::setReady(bool ready)
{
    if (guardedReady.exchange(ready) != ready)
        emit guardedWordChanged();
}

std::optional<CommandWord> SwitchSeam::takeGuardedWord()
{
    if (!guarded)
        return std::nullopt;
    // The guard may look at what has just arrived and change the word.
    if (guard.mayLeave && !guard.mayLeave()) {
        setReady(false);
        return std::nullopt;
    }
    const std::optional<CommandWord> word = guarded;
    if (!word)
        return std::nullopt;
    guarded.reset();
    setReady(false);
    return word;
}

void SwitchSeam::guardedWordWritten(CommandWord word)
{
    if (guard.left)
        guard.left(word);
}
