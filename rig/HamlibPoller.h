#pragma once

#include "rig/HamlibSettings.h"
#include "rig/RigReading.h"

#include <QObject>
#include <QTimer>

struct s_rig;

// Reads the radio's frequency and PTT through Hamlib a few times a second.
// Hamlib calls block, so this object lives on a worker thread of its own
// (see HamlibSource). A radio that stops answering is asked again every
// retryMs by timer (a lost port or rigctld is opened again); nothing runs in
// between.
class HamlibPoller : public QObject
{
    Q_OBJECT

public:
    explicit HamlibPoller(const HamlibSettings &settings, QObject *parent = nullptr);
    ~HamlibPoller() override;

    // False for a model number this Hamlib does not know. Quick: no I/O.
    static bool knownModel(int model);
    // Keeps Hamlib's own diagnostics off stderr.
    static void silenceHamlib();

public slots:
    void start();

signals:
    // Emitted when the frequency or PTT differ from the last reading, and
    // with no frequency (PTT as last known) when the radio stops answering.
    void reading(const RigReading &reading);
    void statusText(const QString &text);
    // The radio answers, or has stopped answering.
    void answering(bool answers);

private:
    bool open();
    void close();
    bool poll();
    void failed(bool reopen);
    static bool connectionLost(int result);
    void retry();
    void publish(const RigReading &next);

    HamlibSettings settings;
    QString sourceName;
    s_rig *rig = nullptr;
    QTimer pollTimer;
    QTimer retryTimer;
    bool outageReported = false;
    QString outageText;    // what the outage was last reported as
    QString openRefusal;   // why the radio's port could not be opened, if known
    bool answered = false;
    bool published = false;
    RigReading lastReading;
};
