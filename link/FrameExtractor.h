#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>

// Cuts a byte stream into frames of the "IG" + type + data + ";" family.
// Each known type letter has a usual length and a usual place for the ";".
// A frame whose byte at that place is not ";" may still be a longer frame of
// the same type, when its format allows one: it ends at the first ";" after
// the usual place, no later than maxLength, and no header starts after its
// type letter (that would be a frame cut short with the next one behind it).
// Its data is read by position; the bytes before its ";" are ignored.
// Bytes that cannot start a frame are skipped, so the stream resynchronises
// on the next "IG"; a frame not yet complete waits for more bytes. Data bytes
// may be anything, ";", "I" and "G" included. The frames found never depend
// on how the bytes were cut into pieces.
class FrameExtractor
{
public:
    struct Format
    {
        char type;
        int length;
        int terminatorIndex;
        int maxLength; // equal to length: no longer frames of this type
    };

    explicit FrameExtractor(QVector<Format> formats);

    // Frames the switch sends: status and firmware.
    static FrameExtractor forSwitchFrames();
    // Frames the panel sends, as written on the wire (left-over bytes included).
    static FrameExtractor forPanelFrames();

    // Appends bytes and returns every frame they complete, in arrival order.
    QList<QByteArray> feed(const char *data, int size);
    QList<QByteArray> feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }

    // Bytes kept for a frame not yet complete; less than the longest frame
    // any format allows.
    int pendingSize() const { return pending.size(); }
    void clear() { pending.clear(); }

private:
    static constexpr int needMoreBytes = 0;
    static constexpr int notAFrame = -1;

    const Format *formatFor(char type) const;
    // The length of the frame of this format that starts at start, or one of
    // the two markers above.
    int measure(int start, const Format &format) const;

    QVector<Format> formats;
    QByteArray pending;
};
