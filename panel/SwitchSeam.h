#pragma once

#include "link/Protocol.h"
#include "panel/SwitchSnapshot.h"

#include <QByteArray>
#include <QObject>

#include <functional>

// The one place where features beyond the panel meet it. Out: the switch's
// state changed, the operator selected an antenna with a key or F-key (even
// the one in use), and each frame the receive step dispatched. In: queue a
// command word, exactly as the keys do (same queue, same pacing, same bytes).
// Lives on the GUI thread; connect across threads with queued connections.
class SwitchSeam : public QObject
{
    Q_OBJECT

public:
    using QueueWord = std::function<void(CommandWord)>;

    explicit SwitchSeam(QueueWord queueWord, QObject *parent = nullptr);

    const SwitchSnapshot &snapshot() const { return current; }

    // Called by the panel. stateChanged is emitted only when something
    // differs from the last snapshot, so a steady poll publishes nothing.
    void update(const SwitchSnapshot &snapshot);
    void dispatched(const QByteArray &frame);
    void selected(int position);

public slots:
    void queueWord(qint16 word);

signals:
    void stateChanged(const SwitchSnapshot &snapshot);
    void frameDispatched(const QByteArray &frame);
    void operatorSelected(int position);

private:
    QueueWord queue;
    SwitchSnapshot current;
};
