// The captions file reader under libFuzzer: any bytes at all must give at
// most four characters per key, and captions only from "#K1".."#K8" lines.

#include "panel/AntennaLabels.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const AntennaLabels::Captions captions = AntennaLabels::parse(content);
    const bool anyMarker = content.contains("#K");
    for (const auto &caption : captions) {
        if (!caption)
            continue;
        if (caption->size() > AntennaLabels::captionLength || !anyMarker) {
            std::fprintf(stderr, "invariant broken: caption \"%s\"\n", qPrintable(*caption));
            std::abort();
        }
    }
    return 0;
}
