// Frames relayed through the broker under libFuzzer: messages of any size and
// content arrive on BASE/frames; a remote panel takes only whole frames, and
// its ordinary receive step must hand over exactly those, in order, however
// the messages and the panel's reads interleave, with what waits bounded.
//
// Input: a run of records, each starting with one control byte c:
//   c < 0xF0   a message of the next c % 64 bytes arrives (c & 0x40 doubles it)
//   c >= 0xF0  the receive step runs

#include "link/FrameReceiver.h"
#include "link/RemoteLink.h"
#include "remote/RelayedFrame.h"

#include <QList>

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

// The relay side of a remote panel's link, without a broker.
class RelayedLink : public RemoteLink
{
public:
    QString name() const override { return QStringLiteral("fuzz"); }
    void sendCommand(CommandWord) override {}
    bool take(const QByteArray &message)
    {
        if (!RelayedFrame::isWholeSwitchFrame(message))
            return false;
        const qint64 before = device()->bytesAvailable();
        deliver(message);
        return device()->bytesAvailable() > before;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RelayedLink link;
    link.attach();
    FrameReceiver receiver;
    QList<QByteArray> taken;
    QList<QByteArray> handedOver;
    const auto receive = [&] {
        receiver.receive(link.device(), [&] {
            handedOver << QByteArray(reinterpret_cast<const char *>(rxBuffer), rxCount);
        });
        check(handedOver == taken.mid(0, handedOver.size()), "a frame changed or out of order on the way");
    };

    size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        if (control >= 0xF0) {
            receive();
            continue;
        }
        const size_t wanted = (control % 64u) * ((control & 0x40) ? 2u : 1u);
        const size_t length = std::min(wanted, size - at);
        QByteArray message(reinterpret_cast<const char *>(data + at), static_cast<int>(length));
        at += length;
        if (link.take(message))
            taken << message;
        check(link.device()->bytesAvailable() <= RemoteLink::maxWaitingBytes, "waiting bytes unbounded");
    }
    while (link.device()->bytesAvailable() > 0)
        receive();
    check(handedOver == taken, "a whole frame was not handed over");
    return 0;
}
