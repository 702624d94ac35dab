#pragma once

#include "rig/HamlibSettings.h"
#include "rig/RigReading.h"

#include <QObject>

class HamlibPoller;
class QThread;

// The radio through Hamlib, polled on a worker thread of its own. Its signals
// arrive on the thread that created it; nothing here ever waits for Hamlib,
// except the destructor for the one call that may be under way.
class HamlibSource : public QObject
{
    Q_OBJECT

public:
    explicit HamlibSource(const HamlibSettings &settings, QObject *parent = nullptr);
    ~HamlibSource() override;

signals:
    void reading(const RigReading &reading);
    void statusText(const QString &text);
    void answering(bool answers);

private:
    QThread *worker = nullptr;
    HamlibPoller *poller = nullptr;
};
