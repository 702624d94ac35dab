#include "sim/VirtualSwitch.h"

#include "link/FrameExtractor.h"
#include "link/Protocol.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr qint64 nsPerMs = 1000000;
constexpr qint64 nsPerSecond = 1000000000;
constexpr int bitsPerByte = 10; // start bit, 8 data bits, stop bit
constexpr int positionCount = 8;

// One byte waiting for the line. A byte may only go out one byte time after
// the line became free, never before it was queued, and after its own pause.
struct OutByte
{
    char byte;
    qint64 queuedNs;
    qint64 pauseBeforeNs;
    bool endsStatusFrame;
    bool saysSend = false;   // that status frame reports SEND
};

void closeFd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool setFdFlags(int fd, bool nonBlocking)
{
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) < 0)
        return false;
    if (!nonBlocking)
        return true;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) >= 0;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Where the ";" sits in a frame of the given type, for the log.
int terminatorIndex(const QByteArray &frame, bool fromPanel)
{
    if (frame.size() < 3)
        return -1;
    if (!fromPanel)
        return frame.size() - 1;
    switch (frame.at(2)) {
    case Protocol::firmwareType:
        return 3;
    case Protocol::rotorLetter:
        return 5;
    case Protocol::splitLetter:
        return 6;
    default:
        return 4;
    }
}

// Header and terminator as letters, every other byte in hex:
// "IGS 35 ; 00 00".
QByteArray describeFrame(const QByteArray &frame, bool fromPanel)
{
    const int terminator = terminatorIndex(frame, fromPanel);
    QByteArray text = frame.left(3);
    for (int i = 3; i < frame.size(); ++i) {
        text += ' ';
        if (i == terminator)
            text += ';';
        else
            text += QByteArray(1, frame.at(i)).toHex().toUpper();
    }
    return text;
}

QByteArray describeBytes(const QByteArray &bytes)
{
    return bytes.toHex(' ').toUpper();
}

} // namespace

struct VirtualSwitch::Private
{
    explicit Private(const Options &options)
        : options(options)
        , extractor(FrameExtractor::forPanelFrames())
        , random(std::random_device{}())
    {
        if (options.baudRate > 0)
            byteTimeNs = bitsPerByte * nsPerSecond / options.baudRate;
    }

    void run();
    void stopThread();
    void closeDevice();
    void wake();

    // The rest run on the switch thread with the mutex held.
    bool readFromPanel(qint64 now);
    void handleFrame(const QByteArray &frame);
    void queueFrame(const QByteArray &frame, bool isStatus);
    void queueBytes(const QByteArray &bytes, bool isStatus, qint64 pauseAt, qint64 pauseNs);
    qint64 dueNs(const OutByte &out, qint64 freeNs) const;
    bool writeDueBytes(qint64 now);
    void beLively(qint64 now);
    void log(const char *direction, const QByteArray &text, const char *note = nullptr);

    const Options options;
    qint64 byteTimeNs = 0;
    qint64 startNs = monotonicNs();

    mutable std::mutex mutex;
    mutable std::condition_variable framesArrived;
    std::thread thread;
    bool stopRequested = false;
    bool running = false;

    int masterFd = -1;
    int slaveFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    QString path;
    QString error;

    SwitchState state;
    bool answering = true;
    bool answeringPolls = true;
    qint64 firmwareDelayNs = 0;
    qint64 pollAnswerDelayNs = 0;
    int pollsUntilSending = 0;   // 0: none set
    qint64 splitPauseNs = 0;
    double garbageRate = 0.0;

    FrameExtractor extractor;
    // The bytes the extractor still holds, with the time each one was read,
    // so every frame can be given the time of its own first byte.
    QByteArray unparsed;
    QVector<qint64> unparsedNs;
    QList<ReceivedFrame> frames;
    QByteArray bytes;

    std::deque<OutByte> output;
    qint64 lineFreeNs = 0;
    bool waitingForRoom = false;
    QList<qint64> statusWrittenNs;
    QList<qint64> sendWrittenNs;

    qint64 nextLivelyNs = 0;
    std::mt19937 random;
};

VirtualSwitch::VirtualSwitch()
    : VirtualSwitch(Options())
{
}

VirtualSwitch::VirtualSwitch(const Options &options)
    : d(new Private(options))
{
}

VirtualSwitch::~VirtualSwitch()
{
    d->stopThread();
    d->closeDevice();
}

bool VirtualSwitch::start()
{
    if (isRunning())
        return true;

    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) < 0) {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error = systemError("openpty");
        return false;
    }

    // Raw before the panel can open it: no echo, no line editing, no
    // translation of CR/LF, every byte passed through as it is.
    QString problem;
    termios settings {};
    if (::tcgetattr(slave, &settings) < 0) {
        problem = systemError("tcgetattr");
    } else {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        if (::tcsetattr(slave, TCSANOW, &settings) < 0)
            problem = systemError("tcsetattr");
    }
    const char *name = ::ttyname(slave);
    if (problem.isEmpty() && !name)
        problem = systemError("ttyname");
    if (problem.isEmpty() && (!setFdFlags(master, true) || !setFdFlags(slave, false)))
        problem = systemError("fcntl");
    int pipeFds[2] = {-1, -1};
    if (problem.isEmpty() && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) < 0)
        problem = systemError("pipe2");
    if (!problem.isEmpty()) {
        ::close(master);
        ::close(slave);
        std::lock_guard<std::mutex> lock(d->mutex);
        d->error = problem;
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->masterFd = master;
        // Held open for the whole life of the device: while one slave fd
        // stays open, the panel may close and reopen the port and the master
        // never sees a hang-up.
        d->slaveFd = slave;
        d->wakeRead = pipeFds[0];
        d->wakeWrite = pipeFds[1];
        d->path = QString::fromLocal8Bit(name);
        d->error.clear();
        d->stopRequested = false;
        d->running = true;
        d->extractor.clear();
        d->unparsed.clear();
        d->unparsedNs.clear();
        d->output.clear();
        d->waitingForRoom = false;
        d->lineFreeNs = monotonicNs();
        d->nextLivelyNs = d->lineFreeNs + nsPerSecond;
    }
    d->thread = std::thread([this] { d->run(); });
    return true;
}

QString VirtualSwitch::errorString() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->error;
}

QString VirtualSwitch::devicePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->path;
}

bool VirtualSwitch::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running;
}

SwitchState VirtualSwitch::state() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->state;
}

void VirtualSwitch::setState(const SwitchState &state)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->state = state;
}

void VirtualSwitch::setAnswering(bool answering)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->answering = answering;
}

void VirtualSwitch::setAnsweringPolls(bool answering)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->answeringPolls = answering;
}

void VirtualSwitch::setPollAnswerDelay(int delayMs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->pollAnswerDelayNs = std::max(0, delayMs) * nsPerMs;
}

void VirtualSwitch::setSendingAtPoll(int poll)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->pollsUntilSending = std::max(0, poll);
}

void VirtualSwitch::setFirmwareDelay(int delayMs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->firmwareDelayNs = std::max(0, delayMs) * nsPerMs;
}

QList<VirtualSwitch::ReceivedFrame> VirtualSwitch::receivedFrames() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->frames;
}

QByteArray VirtualSwitch::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->bytes;
}

void VirtualSwitch::clearReceived()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->frames.clear();
    d->bytes.clear();
}

bool VirtualSwitch::waitForFrames(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->framesArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this, count] { return d->frames.size() >= count; });
}

void VirtualSwitch::sendRaw(const QByteArray &bytes)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->log("switch >", describeBytes(bytes), "raw");
        d->queueBytes(bytes, false, -1, 0);
    }
    d->wake();
}

void VirtualSwitch::setSplitFrames(int pauseMs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->splitPauseNs = std::max(0, pauseMs) * nsPerMs;
}

void VirtualSwitch::setGarbageRate(double probability)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->garbageRate = std::clamp(probability, 0.0, 1.0);
}

void VirtualSwitch::vanish()
{
    d->stopThread();
    d->closeDevice();
}

int VirtualSwitch::statusFramesSent() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->statusWrittenNs.size();
}

QList<qint64> VirtualSwitch::sendFrameWrittenNs() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->sendWrittenNs;
}

QList<qint64> VirtualSwitch::statusFrameWrittenNs() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->statusWrittenNs;
}

QByteArray VirtualSwitch::statusFrame(const SwitchState &state)
{
    const char frame[Protocol::statusFrameLength] = {
        Protocol::headerFirst,
        Protocol::headerSecond,
        Protocol::statusType,
        static_cast<char>(state.position),
        static_cast<char>(state.split ? 1 : 0),
        static_cast<char>(state.busyMask),
        static_cast<char>(state.rotor),
        static_cast<char>(state.superSplitMask),
        static_cast<char>(state.sending ? 1 : 0),
        static_cast<char>(state.splitPosition),
        static_cast<char>(state.previousPosition),
        Protocol::terminator,
    };
    return QByteArray(frame, sizeof frame);
}

QByteArray VirtualSwitch::firmwareFrame(quint8 major, quint8 minor)
{
    const char frame[Protocol::firmwareFrameLength] = {
        Protocol::headerFirst,
        Protocol::headerSecond,
        Protocol::firmwareType,
        static_cast<char>(major),
        static_cast<char>(minor),
        Protocol::terminator,
    };
    return QByteArray(frame, sizeof frame);
}

// What the switch does with each command frame. Bytes after the ";" are
// ignored, and a frame with a value out of range changes nothing.
//
//  S k   select position k ("0".."7"). With split on and k not the current
//        position, k becomes the split partner. Otherwise the position being
//        left becomes the super split partner (unless it is in the super
//        split group) and k the current position.
//  P     flag "1": split on, with bytes 3 and 4 giving current position + 1
//        and TX position + 1 (each + 0x2F); the current position moves there
//        and the TX position becomes the split partner. Flag "0": split off,
//        whatever bytes 3 and 4 hold; the partner is kept.
//  Q m   the raw byte m becomes the super split group.
//  V     bytes 3 and 4: position + 1 and rotor n as digits; n = 1..4 selects
//        that rotor, 0 selects none. The position is checked but not used.
bool VirtualSwitch::applyCommand(SwitchState &state, const QByteArray &frame)
{
    if (frame.size() < 5 || frame.at(0) != Protocol::headerFirst || frame.at(1) != Protocol::headerSecond)
        return false;
    const auto byteAt = [&frame](int i) { return static_cast<quint8>(frame.at(i)); };
    const auto isPosition = [](int p) { return p >= 0 && p < positionCount; };

    switch (frame.at(2)) {
    case Protocol::selectLetter: {
        const int k = byteAt(3) - '0';
        if (frame.at(4) != Protocol::terminator || !isPosition(k))
            return false;
        if (state.split && k != state.position) {
            state.splitPosition = static_cast<quint8>(k);
        } else {
            const bool inGroup = state.position < positionCount
                                 && (state.superSplitMask & (1u << state.position)) != 0;
            if (!inGroup)
                state.previousPosition = state.position;
            state.position = static_cast<quint8>(k);
        }
        return true;
    }
    case Protocol::superSplitLetter:
        if (frame.at(4) != Protocol::terminator)
            return false;
        state.superSplitMask = byteAt(3);
        return true;
    case Protocol::rotorLetter: {
        if (frame.size() < 6 || frame.at(5) != Protocol::terminator)
            return false;
        const int position = byteAt(3) - '1';
        const int rotor = byteAt(4) - '0';
        if (!isPosition(position) || rotor < 0 || rotor > 4)
            return false;
        state.rotor = static_cast<quint8>(rotor);
        return true;
    }
    case Protocol::splitLetter: {
        if (frame.size() < 7 || frame.at(6) != Protocol::terminator)
            return false;
        if (frame.at(5) == '0') {
            state.split = false;
            return true;
        }
        const int current = byteAt(3) - 0x30;
        const int tx = byteAt(4) - 0x30;
        if (frame.at(5) != '1' || !isPosition(current) || !isPosition(tx))
            return false;
        state.split = true;
        state.position = static_cast<quint8>(current);
        state.splitPosition = static_cast<quint8>(tx);
        return true;
    }
    default:
        return false;
    }
}

qint64 VirtualSwitch::monotonicNs()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

void VirtualSwitch::Private::wake()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (wakeWrite >= 0) {
        const char byte = 0;
        // A full pipe already holds a wake-up, so the result does not matter.
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    }
}

void VirtualSwitch::Private::stopThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopRequested = true;
    }
    wake();
    if (thread.joinable())
        thread.join();
}

void VirtualSwitch::Private::closeDevice()
{
    std::lock_guard<std::mutex> lock(mutex);
    closeFd(masterFd);
    closeFd(slaveFd);
    closeFd(wakeRead);
    closeFd(wakeWrite);
    output.clear();
    running = false;
    framesArrived.notify_all();
}

void VirtualSwitch::Private::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopRequested) {
        const qint64 now = monotonicNs();
        if (!waitingForRoom)
            waitingForRoom = !writeDueBytes(now);
        if (options.lively)
            beLively(now);

        // Sleep until the next byte is due, the lively clock ticks, the panel
        // writes, the line has room again or another thread wakes us.
        qint64 wakeAtNs = -1;
        if (!output.empty() && !waitingForRoom)
            wakeAtNs = dueNs(output.front(), lineFreeNs);
        if (options.lively && (wakeAtNs < 0 || nextLivelyNs < wakeAtNs))
            wakeAtNs = nextLivelyNs;

        pollfd fds[2] = {
            {masterFd, static_cast<short>(POLLIN | (waitingForRoom ? POLLOUT : 0)), 0},
            {wakeRead, POLLIN, 0},
        };
        lock.unlock();

        timespec timeout {};
        timespec *timeoutPtr = nullptr;
        if (wakeAtNs >= 0) {
            const qint64 waitNs = std::max<qint64>(0, wakeAtNs - monotonicNs());
            timeout.tv_sec = static_cast<time_t>(waitNs / nsPerSecond);
            timeout.tv_nsec = static_cast<long>(waitNs % nsPerSecond);
            timeoutPtr = &timeout;
        }
        const int ready = ::ppoll(fds, 2, timeoutPtr, nullptr);

        lock.lock();
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            error = systemError("ppoll");
            break;
        }
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead, drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLOUT)
            waitingForRoom = false;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !readFromPanel(monotonicNs())) {
            // The switch holds the slave open, so a hang-up should never
            // come; if one does, back off briefly rather than spin on it.
            lock.unlock();
            ::usleep(10000);
            lock.lock();
        }
    }
}

// False when the master reports a hang-up instead of bytes.
bool VirtualSwitch::Private::readFromPanel(qint64 now)
{
    char chunk[256];
    const ssize_t count = ::read(masterFd, chunk, sizeof chunk);
    if (count <= 0)
        return count < 0 && (errno == EAGAIN || errno == EINTR);

    const QByteArray received(chunk, static_cast<int>(count));
    bytes += received;
    unparsed += received;
    unparsedNs.insert(unparsedNs.size(), static_cast<int>(count), now);

    int cursor = 0;
    const QList<QByteArray> complete = extractor.feed(received);
    for (const QByteArray &frame : complete) {
        const int at = unparsed.indexOf(frame, cursor);
        if (at > cursor)
            log("panel  >", describeBytes(unparsed.mid(cursor, at - cursor)), "skipped");
        frames.append({unparsedNs.at(at), frame});
        cursor = at + frame.size();
        handleFrame(frame);
    }
    const int consumed = unparsed.size() - extractor.pendingSize();
    if (consumed > cursor)
        log("panel  >", describeBytes(unparsed.mid(cursor, consumed - cursor)), "skipped");
    unparsed.remove(0, consumed);
    unparsedNs.remove(0, consumed);
    if (!complete.isEmpty())
        framesArrived.notify_all();
    return true;
}

void VirtualSwitch::Private::handleFrame(const QByteArray &frame)
{
    const QByteArray text = describeFrame(frame, true);
    switch (frame.at(2)) {
    case Protocol::firmwareType:
        log("panel  >", text, answering ? "firmware request" : "firmware request, not answered");
        if (answering && firmwareDelayNs > 0)
            queueBytes(firmwareFrame(options.firmwareMajor, options.firmwareMinor), false, 0, firmwareDelayNs);
        else if (answering)
            queueFrame(firmwareFrame(options.firmwareMajor, options.firmwareMinor), false);
        return;
    case Protocol::statusType: {
        const bool answer = answering && answeringPolls;
        log("panel  >", text, answer ? "poll" : "poll, not answered");
        if (pollsUntilSending > 0 && --pollsUntilSending == 0)
            state.sending = true;
        if (answer && pollAnswerDelayNs > 0)
            queueBytes(statusFrame(state), true, 0, pollAnswerDelayNs);
        else if (answer)
            queueFrame(statusFrame(state), true);
        return;
    }
    default:
        log("panel  >", text, applyCommand(state, frame) ? "applied" : "ignored");
        return;
    }
}

void VirtualSwitch::Private::queueFrame(const QByteArray &frame, bool isStatus)
{
    if (garbageRate > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random) < garbageRate) {
        // Never an "I", so the noise cannot start a header of its own.
        QByteArray garbage;
        const int size = std::uniform_int_distribution<int>(1, 4)(random);
        while (garbage.size() < size) {
            const char byte = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
            if (byte != Protocol::headerFirst)
                garbage += byte;
        }
        log("switch >", describeBytes(garbage), "garbage");
        queueBytes(garbage, false, -1, 0);
    }
    qint64 pauseAt = -1;
    if (splitPauseNs > 0 && frame.size() > 1)
        pauseAt = std::uniform_int_distribution<int>(1, frame.size() - 1)(random);
    log("switch >", describeFrame(frame, false));
    queueBytes(frame, isStatus, pauseAt, splitPauseNs);
}

void VirtualSwitch::Private::queueBytes(const QByteArray &data, bool isStatus, qint64 pauseAt, qint64 pauseNs)
{
    if (masterFd < 0)
        return;
    const qint64 now = monotonicNs();
    const bool send = isStatus && data.size() == Protocol::statusFrameLength && data.at(8) != 0;
    for (int i = 0; i < data.size(); ++i)
        output.push_back({data.at(i), now, i == pauseAt ? pauseNs : 0, isStatus && i == data.size() - 1, send});
}

// When a byte has crossed the line, given when the line became free: the
// deadlines follow one another, so lateness in waking never adds up.
qint64 VirtualSwitch::Private::dueNs(const OutByte &out, qint64 freeNs) const
{
    return std::max(freeNs, out.queuedNs) + out.pauseBeforeNs + byteTimeNs;
}

// Writes every byte whose time has come in one go; false when the line has
// no room and the switch must wait for it.
bool VirtualSwitch::Private::writeDueBytes(qint64 now)
{
    QByteArray batch;
    qint64 freeAfter = lineFreeNs;
    for (const OutByte &out : output) {
        const qint64 due = dueNs(out, freeAfter);
        if (due > now)
            break;
        batch += out.byte;
        freeAfter = due;
    }
    if (batch.isEmpty())
        return true;

    // Taken before the write, so the panel can never have read a byte
    // earlier than the time recorded for it.
    const qint64 writtenAt = monotonicNs();
    const ssize_t written = ::write(masterFd, batch.constData(), static_cast<size_t>(batch.size()));
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return false;
        // The line is broken for good: what was queued can never arrive.
        if (errno != EINTR)
            output.clear();
        return true;
    }
    for (ssize_t i = 0; i < written; ++i) {
        const OutByte out = output.front();
        output.pop_front();
        lineFreeNs = dueNs(out, lineFreeNs);
        if (out.endsStatusFrame)
            statusWrittenNs.append(writtenAt);
        if (out.endsStatusFrame && out.saysSend)
            sendWrittenNs.append(writtenAt);
    }
    return written == batch.size();
}

// Every one to three seconds a busy input changes, and now and then SEND.
void VirtualSwitch::Private::beLively(qint64 now)
{
    if (now < nextLivelyNs)
        return;
    state.busyMask ^= static_cast<quint8>(1u << std::uniform_int_distribution<int>(0, positionCount - 1)(random));
    if (std::uniform_int_distribution<int>(0, 1)(random) == 1)
        state.sending = !state.sending;
    nextLivelyNs = now + std::uniform_int_distribution<qint64>(nsPerSecond, 3 * nsPerSecond)(random);
    log("switch  ", QByteArray("busy mask ") + QByteArray::number(state.busyMask, 16).toUpper()
                        + (state.sending ? ", sending" : ", not sending"));
}

void VirtualSwitch::Private::log(const char *direction, const QByteArray &text, const char *note)
{
    if (!options.verbose)
        return;
    const double seconds = static_cast<double>(monotonicNs() - startNs) / nsPerSecond;
    std::fprintf(stderr, "[%11.6f] %s %s%s%s\n", seconds, direction, text.constData(), note ? "  -- " : "",
                 note ? note : "");
    std::fflush(stderr);
}
