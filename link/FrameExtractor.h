#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>

// Cuts a byte stream into frames of the "IG" + type + data + ";" family.
// Each known type letter has a fixed length and a fixed place for the ";".
// Bytes that cannot start such a frame are skipped, so the stream
// resynchronises on the next "IG"; an incomplete frame waits for more bytes.
// Data bytes may be anything, ";", "I" and "G" included.
class FrameExtractor
{
public:
    struct Format
    {
        char type;
        int length;
        int terminatorIndex;
    };

    explicit FrameExtractor(QVector<Format> formats);

    // Frames the switch sends: status and firmware.
    static FrameExtractor forSwitchFrames();
    // Frames the panel sends, as written on the wire (left-over bytes included).
    static FrameExtractor forPanelFrames();

    // Appends bytes and returns every frame they complete, in arrival order.
    QList<QByteArray> feed(const char *data, int size);
    QList<QByteArray> feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }

    // Bytes kept for a frame not yet complete; never more than the longest
    // frame less one.
    int pendingSize() const { return pending.size(); }
    void clear() { pending.clear(); }

private:
    const Format *formatFor(char type) const;

    QVector<Format> formats;
    QByteArray pending;
};
