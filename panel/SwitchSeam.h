#pragma once

#include "link/Protocol.h"
#include "panel/SwitchSnapshot.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <optional>

// The one place where features beyond the panel meet it. Out: the switch's
// state changed, the operator selected an antenna with a key or F-key (even
// the one in use), and each frame the receive step dispatched. In: queue a
// command word, exactly as the keys do (same queue, same bytes); or place
// one guarded word, which leaves only if its guard, asked at the very moment
// of writing, allows it. A feature may also judge every word before the
// panel or another feature queues it (the word check), and advise the keys
// (a note for each key's accessible description, a dimmed caption). Lives
// on the GUI thread; connect across threads with queued connections.
class SwitchSeam : public QObject
{
    Q_OBJECT

public:
    // Queues a feature's word; false when the queue is full and it is refused.
    using QueueWord = std::function<bool(CommandWord)>;

    // Asked at the moment the guarded word would be written, and told once
    // it has been written.
    struct Guard
    {
        std::function<bool()> mayLeave;
        std::function<void(CommandWord)> left;
    };

    // Whether a word may be queued, and what the operator is told of it
    // (empty: nothing).
    struct WordVerdict
    {
        bool send = true;
        QString text;
    };
    using WordCheck = std::function<WordVerdict(CommandWord)>;

    // What a feature says of each antenna key; not given: nothing at all.
    struct KeyAdvice
    {
        bool given = false;
        std::array<QString, positionCount> notes;   // added to the key's accessible description
        quint8 dimmedMask = 0;                       // bit i: key i's caption is dimmed
        quint8 allowedMask = 0xFF;                   // bit i: antenna i is allowed now

        bool operator==(const KeyAdvice &other) const
        {
            return given == other.given && notes == other.notes && dimmedMask == other.dimmedMask
                   && allowedMask == other.allowedMask;
        }
        bool operator!=(const KeyAdvice &other) const { return !(*this == other); }
    };

    explicit SwitchSeam(QueueWord queueWord, QObject *parent = nullptr);

    const SwitchSnapshot &snapshot() const { return current; }

    // Called by the panel. stateChanged is emitted only when something
    // differs from the last snapshot, so a steady poll publishes nothing.
    void update(const SwitchSnapshot &snapshot);
    void dispatched(const QByteArray &frame);
    // Every status frame, after the snapshot took it in.
    void reported(const SwitchReport &report);
    void selected(int position);

    // A feature wants a status frame read from atMs (MonotonicClock) on, so
    // polls are timed for it; none: no longer.
    void wantStatusAt(std::optional<qint64> atMs);

    // The guarded word, for a feature. At most one waits: a newer one
    // replaces it. ready says whether it may leave at the next turn as far
    // as its owner knows now; the guard has the last word.
    void setGuard(Guard guard);
    void placeGuardedWord(CommandWord word);
    void withdrawGuardedWord();
    void setGuardedWordReady(bool ready);

    // The word check, for a feature; none: every word goes.
    void setWordCheck(WordCheck check) { wordCheck = std::move(check); }
    // Asked right before the words of one command are queued: refused when
    // any is, with what there is to tell joined.
    WordVerdict checkWords(const QVector<CommandWord> &words) const;

    void setKeyAdvice(const KeyAdvice &advice);
    const KeyAdvice &keyAdvice() const { return advice; }

    // For the panel. guardedWordReady() may be asked from any thread.
    bool guardedWordReady() const { return guardedReady.load(); }
    std::optional<CommandWord> guardedWord() const { return guarded; }
    // The word, if its guard lets it leave now; it is then no longer here.
    std::optional<CommandWord> takeGuardedWord();
    // The word taken has been written: its owner is told now.
    void guardedWordWritten(CommandWord word);

public slots:
    bool queueWord(qint16 word);

signals:
    void stateChanged(const SwitchSnapshot &snapshot);
    void frameDispatched(const QByteArray &frame);
    void statusReported(const SwitchReport &report);
    void statusWanted(std::optional<qint64> atMs);
    void operatorSelected(int position);
    // The guarded word came, went or changed readiness.
    void guardedWordChanged();
    void keyAdviceChanged();

private:
    void setReady(bool ready);

    QueueWord queue;
    SwitchSnapshot current;
    Guard guard;
    std::optional<CommandWord> guarded;
    std::atomic<bool> guardedReady{false};
    WordCheck wordCheck;
    KeyAdvice advice;
};
