// Commands from the broker under libFuzzer: whatever arrives on BASE/set,
// for any state of the switch, yields either no word or words the panel's own
// controls could have queued, and a short report when refused. The same
// bytes as a state message give either no captions or eight short ones.
//
// Input: byte 0 link open (bit 0), byte 1 the antenna in use, byte 2 the
// rotor; the rest is the message.

#include "panel/AntennaLabels.h"
#include "remote/CommandJson.h"
#include "remote/StateJson.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr size_t headerBytes = 3;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < headerBytes)
        return 0;
    SwitchSnapshot snapshot;
    snapshot.linkOpen = (data[0] & 1) != 0;
    snapshot.position = data[1];
    snapshot.rotor = data[2];
    const QByteArray message(reinterpret_cast<const char *>(data + headerBytes), static_cast<int>(size - headerBytes));

    const CommandJson::Outcome outcome = CommandJson::parse(message, snapshot);
    check(outcome.error.isEmpty() || outcome.words.isEmpty(), "words despite a refusal");
    check(snapshot.linkOpen || outcome.words.isEmpty(), "words while the link is down");
    check(outcome.words.size() <= 1, "more than one word for one command");
    for (CommandWord word : outcome.words)
        check(CommandJson::panelCouldSend(word), "a word the panel's controls cannot make");
    if (!outcome.error.isEmpty()) {
        const QByteArray report = CommandJson::errorMessage(outcome.error, message);
        check(report.size() < 4 * CommandJson::maxQuotedBytes + 4 * CommandJson::maxMessageBytes, "report too long");
    }

    const QStringList captions = StateJson::captions(message);
    check(captions.isEmpty() || captions.size() == positionCount, "caption count");
    for (const QString &caption : captions)
        check(caption.size() <= AntennaLabels::captionLength, "caption length");
    return 0;
}
