#pragma once

#include "panel/PanelState.h"

#include <QString>

#include <array>
#include <optional>

// Reads the antenna key captions from a small text file:
//   ; a comment
//   #K1 Yagi
// "#K1".."#K8" give the caption of key 1..8: the four characters after the
// marker and one separator character. A key without a line gets no caption.
class AntennaLabels
{
public:
    using Captions = std::array<std::optional<QString>, positionCount>;

    // Only this much of a file is read, so a huge or binary file cannot stall
    // start-up.
    static constexpr qint64 maxFileBytes = 64 * 1024;
    static constexpr int captionStart = 4;
    static constexpr int captionLength = 4;

    static Captions read(const QString &path);
    static Captions parse(const QByteArray &content);
};
