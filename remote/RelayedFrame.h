#pragma once

#include <QByteArray>

// Frames a panel relays through the broker. A remote panel takes a message
// only when it is exactly one whole status or firmware frame, as the receive
// step cuts them, so nothing that arrives can run into the next frame or
// leave bytes waiting.
namespace RelayedFrame {

bool isWholeSwitchFrame(const QByteArray &message);

} // namespace RelayedFrame
