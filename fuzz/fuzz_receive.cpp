// The receive path under libFuzzer: bytes arrive in reads of the sizes the
// input chooses, go through the real receive step, and every frame it hands
// over is dispatched into a panel state and display without widgets, as the
// window does. Operator actions may come between reads.
//
// Input: a run of records, each starting with one control byte c:
//   c < 0xE0          the next 1 + c % 64 bytes arrive in one read
//   0xE0 <= c < 0xF0  the next (c - 0xDF) * 512 bytes arrive in one read
//   0xF0 <= c < 0xFE  operator action: keys 1-8, SPLIT, S. SPLIT, RT 1-4
//   c >= 0xFE         the port is opened again (the receiver starts afresh)

#include "link/FrameExtractor.h"
#include "link/FrameReceiver.h"
#include "link/Protocol.h"
#include "panel/KeyPainting.h"
#include "panel/OperatorCommands.h"
#include "panel/PanelState.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void checkDisplay(const PanelDisplay &display)
{
    check(std::count(display.keys.begin(), display.keys.end(), KeyLook::Active) <= 1, "more than one active key");
    check(std::count(display.rotors.begin(), display.rotors.end(), true) <= 1, "more than one rotor lit");
}

// What the window does with a frame the receive step hands over.
void dispatch(PanelState &state, PanelDisplay &display, QList<QByteArray> &seen)
{
    check(rxCount >= 1 && rxCount <= rxBufferSize, "frame length within the receive window");
    check(rxBuffer[0] == Protocol::headerFirst && rxBuffer[1] == Protocol::headerSecond, "frame header");
    check(rxBuffer[rxCount - 1] == Protocol::terminator, "frame terminator");
    const int usualLength = rxBuffer[2] == Protocol::statusType ? Protocol::statusFrameLength
                            : rxBuffer[2] == Protocol::firmwareType ? Protocol::firmwareFrameLength
                                                                    : -1;
    check(usualLength > 0 && rxCount >= usualLength, "frame type, and data bytes all from this frame");
    if (rxCount > usualLength) {
        // A longer frame: the usual terminator place is taken by another
        // byte, its ";" is the first after that place, and no header starts
        // after its type letter.
        check(rxBuffer[usualLength - 1] != Protocol::terminator, "longer frame with a usual terminator");
        for (int i = usualLength; i < rxCount - 1; ++i)
            check(rxBuffer[i] != Protocol::terminator, "longer frame ends at its first terminator");
        for (int i = 3; i + 1 < rxCount; ++i)
            check(!(rxBuffer[i] == Protocol::headerFirst && rxBuffer[i + 1] == Protocol::headerSecond),
                  "header inside a longer frame");
    }
    seen << QByteArray(reinterpret_cast<const char *>(rxBuffer), rxCount);

    if (rxBuffer[2] == Protocol::statusType) {
        applyStatusFrame(state, display, rxBuffer);
        checkDisplay(display);
    } else {
        const QString status = QStringLiteral("Connected! Firmware Revision: %1 . %2").arg(rxBuffer[3]).arg(rxBuffer[4]);
        const QString label = QString::asprintf("FW Revision: %d.%d", rxBuffer[3], rxBuffer[4]);
        check(status.size() <= 39 && label.size() <= 20, "firmware text");
    }
}

// What the window does with an operator action, words included: each must
// go out as one frame the switch can take apart.
void operatorAction(PanelState &state, PanelDisplay &display, int action)
{
    using namespace OperatorCommands;
    Effects effects;
    if (action < positionCount)
        effects = keyCommand(state, static_cast<qint8>(action));
    else if (action == positionCount)
        effects = splitButton(state);
    else if (action == positionCount + 1)
        effects = superSplitButton(state);
    else
        effects = rotorButton(state, action - positionCount - 1);

    if (effects.superSplitIndicator != Indicator::Keep)
        display.superSplit = effects.superSplitIndicator == Indicator::Check;
    if (effects.repaint)
        display.keys = KeyPainting::paintKeys(state, display.keys, effects.repaintPosition);
    if (effects.refreshSuperSplitIndicator)
        display.superSplit = KeyPainting::superSplitIndicator(state, display.superSplit);
    checkDisplay(display);

    for (CommandWord word : effects.words) {
        const int length = Protocol::buildCommandFrame(word);
        FrameExtractor switchSide = FrameExtractor::forPanelFrames();
        const QList<QByteArray> frames = switchSide.feed(reinterpret_cast<const char *>(txBuffer), length);
        check(frames.size() == 1 && frames.first().size() == length, "command word as a frame");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PanelState state;
    PanelDisplay display;
    FrameReceiver receiver;
    // Opening the port writes the firmware request, which leaves "IG" at the
    // front of the transmit buffer for the command frames.
    Protocol::buildFirmwareRequest();

    // Frames the receive step handed over since the port was opened, and the
    // bytes that came in meanwhile: cut up any other way, the same bytes
    // must give the same frames.
    QList<QByteArray> seen;
    QByteArray arrived;
    FrameExtractor alongside = FrameExtractor::forSwitchFrames();
    const auto compareWithOneRead = [&] {
        FrameExtractor whole = FrameExtractor::forSwitchFrames();
        check(whole.feed(arrived) == seen, "frames depend on how the bytes were read");
    };

    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        if (control >= 0xFE) {
            compareWithOneRead();
            receiver.reset();
            alongside.clear();
            seen.clear();
            arrived.clear();
            continue;
        }
        if (control >= 0xF0) {
            operatorAction(state, display, control - 0xF0);
            continue;
        }
        const size_t wanted = control < 0xE0 ? 1u + control % 64u : (control - 0xDFu) * 512u;
        const size_t length = std::min(wanted, size - at);
        const QByteArray chunk(reinterpret_cast<const char *>(data + at), static_cast<int>(length));
        at += length;
        arrived += chunk;

        QBuffer port;
        port.setData(chunk);
        port.open(QIODevice::ReadOnly);
        const int before = seen.size();
        // A read larger than one step's budget takes several steps.
        while (port.bytesAvailable() > 0)
            receiver.receive(&port, [&] { dispatch(state, display, seen); });

        const QList<QByteArray> expected = alongside.feed(chunk);
        check(seen.mid(before) == expected, "receive step and extractor disagree");
        check(alongside.pendingSize() < rxBufferSize, "pending bytes unbounded");
    }
    compareWithOneRead();
    return 0;
}
