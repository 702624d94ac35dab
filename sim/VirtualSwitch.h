#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

// What the virtual switch reports in its status frames.
struct SwitchState
{
    quint8 position = 0;          // 0..7
    bool split = false;
    quint8 busyMask = 0xFF;       // active low: a 0 bit is a busy input
    quint8 rotor = 1;             // 1..4, 0 for none
    quint8 superSplitMask = 0;
    bool sending = false;
    quint8 splitPosition = 0;     // split partner
    quint8 previousPosition = 0;  // super split partner
};

// Plays a TQX-5R on the far side of a pseudo-terminal. The panel opens
// devicePath() like any serial port. A thread of its own reads what the panel
// writes, answers the firmware request and polls, applies commands to its
// state and writes its frames paced byte by byte as a real line would.
class VirtualSwitch
{
public:
    struct Options
    {
        int baudRate = 9600;   // pacing of the output, 10 bit times a byte (8N1); 0 = unpaced
        quint8 firmwareMajor = 1;
        quint8 firmwareMinor = 12;
        bool lively = false;   // busy inputs and SEND change now and then
        bool verbose = false;  // log every frame both ways on stderr
    };

    // A frame read from the panel, with the monotonic time (ns) at which its
    // first byte was read.
    struct ReceivedFrame
    {
        qint64 firstByteNs = 0;
        QByteArray bytes;
    };

    VirtualSwitch();
    explicit VirtualSwitch(const Options &options);
    ~VirtualSwitch();
    VirtualSwitch(const VirtualSwitch &) = delete;
    VirtualSwitch &operator=(const VirtualSwitch &) = delete;

    // Opens the pseudo-terminal and starts the switch thread.
    bool start();
    QString errorString() const;
    QString devicePath() const;
    bool isRunning() const;

    SwitchState state() const;
    void setState(const SwitchState &state);

    // When false, polls and the firmware request get no answer.
    void setAnswering(bool answering);
    // When false, polls alone get no answer.
    void setAnsweringPolls(bool answering);
    // The firmware answer leaves this long after the request.
    void setFirmwareDelay(int delayMs);
    // Each poll's answer leaves this long after the poll (a slow adapter).
    void setPollAnswerDelay(int delayMs);
    // The transmitter is keyed as the switch reads the given poll from now
    // (1: the next): that poll's answer, and every one after, says SEND.
    void setSendingAtPoll(int poll);

    // Frames received from the panel so far, oldest first.
    QList<ReceivedFrame> receivedFrames() const;
    // Every byte read from the line, whatever it was.
    QByteArray receivedBytes() const;
    void clearReceived();
    // Waits (without an event loop) until at least count frames have arrived.
    bool waitForFrames(int count, int timeoutMs) const;

    // Writes bytes onto the line after what is already queued, paced as usual.
    void sendRaw(const QByteArray &bytes);
    // Splits each outgoing frame in two at a random place with a pause of
    // pauseMs between the pieces; 0 turns it off.
    void setSplitFrames(int pauseMs);
    // Adds random garbage bytes before some frames (probability 0..1).
    void setGarbageRate(double probability);

    // The device disappears: the far end of the pseudo-terminal is closed.
    void vanish();

    int statusFramesSent() const;
    // Monotonic time (ns) at which the last byte of each status frame was
    // written, oldest first.
    QList<qint64> statusFrameWrittenNs() const;
    // The same, for the status frames that report SEND.
    QList<qint64> sendFrameWrittenNs() const;

    static QByteArray statusFrame(const SwitchState &state);
    static QByteArray firmwareFrame(quint8 major, quint8 minor);
    // Applies one frame written by the panel to a state; false when the frame
    // is not a command.
    static bool applyCommand(SwitchState &state, const QByteArray &frame);
    static qint64 monotonicNs();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
