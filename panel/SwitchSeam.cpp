#include "panel/SwitchSeam.h"

SwitchSeam::SwitchSeam(QueueWord queueWord, QObject *parent)
    : QObject(parent)
    , queue(std::move(queueWord))
{
    qRegisterMetaType<SwitchSnapshot>();
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

void SwitchSeam::selected(int position)
{
    emit operatorSelected(position);
}

void SwitchSeam::queueWord(qint16 word)
{
    if (queue)
        queue(word);
}
