#pragma once

#include <QDateTime>
#include <QThread>

#include <atomic>

class MainWindow;

// The clock of all traffic with the switch. Every cycle it asks the window,
// by queued invocation, to send the oldest queued command or a poll request,
// and to read what has arrived. It never touches the port or the panel.
// Constructing it starts the loop; stop() ends it.
class ThreadLeitura : public QThread
{
public:
    static constexpr int cycleMs = 25;
    // Strictly more than these must have passed since the last send request.
    static constexpr qint64 commandSpacingMs = 100;
    static constexpr qint64 pollSpacingMs = 150;

    explicit ThreadLeitura(MainWindow *window);
    ~ThreadLeitura() override;

    // Asks the loop to finish and waits until it has.
    void stop();

protected:
    void run() override;

private:
    qint64 lastSendTime;
    qint64 currentTime;
    std::atomic<bool> stopRequested;
    QDateTime dateTime;
    MainWindow *window;
};
