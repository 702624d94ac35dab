#pragma once

#include "rig/RigReading.h"

#include <QByteArray>

#include <optional>

// The radio's state as loggers broadcast it on UDP, recognised by content:
// - the XML "RadioInfo" packet of contest loggers (Freq and TXFreq in units
//   of 10 Hz, IsTransmitting, RadioNr and ActiveRadioNr);
// - the WSJT-X "Status" message (a big-endian QDataStream after the magic
//   number 0xadbccbda; dial frequency in Hz, Transmitting).
// Anything else or a packet cut short gives nothing. Readings are of kind
// Logger.
//
// A logger may drive two radios (SO2R) and report both. By default the active
// radio is followed: a packet about another radio gives only its transmit
// state, since any radio transmitting holds the switch. Given a radio number,
// only that radio's packets count, its frequency and its transmitting, as a
// station with one switch per radio needs.
namespace LoggerPackets {

constexpr quint32 wsjtxMagic = 0xadbccbdau;
constexpr quint32 wsjtxStatusType = 1;
constexpr double radioInfoHzPerUnit = 10.0;
// Follow whichever radio the logger says is active.
constexpr int activeRadio = 0;

std::optional<RigReading> parse(const QByteArray &datagram, int radio = activeRadio);
std::optional<RigReading> parseRadioInfo(const QByteArray &datagram, int radio = activeRadio);
std::optional<RigReading> parseWsjtxStatus(const QByteArray &datagram);

} // namespace LoggerPackets
