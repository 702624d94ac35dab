#pragma once

#include "rig/RigReading.h"

#include <QByteArray>

#include <optional>

// The radio's state as loggers broadcast it on UDP, recognised by content:
// - the XML "RadioInfo" packet of contest loggers (Freq and TXFreq in units
//   of 10 Hz, IsTransmitting, RadioNr and ActiveRadioNr);
// - the WSJT-X "Status" message (a big-endian QDataStream after the magic
//   number 0xadbccbda; dial frequency in Hz, Transmitting).
// Anything else or a packet cut short gives nothing; a packet about a radio
// that is not the active one gives only its transmit state.
namespace LoggerPackets {

constexpr quint32 wsjtxMagic = 0xadbccbdau;
constexpr quint32 wsjtxStatusType = 1;
constexpr double radioInfoHzPerUnit = 10.0;

std::optional<RigReading> parse(const QByteArray &datagram);
std::optional<RigReading> parseRadioInfo(const QByteArray &datagram);
std::optional<RigReading> parseWsjtxStatus(const QByteArray &datagram);

} // namespace LoggerPackets
