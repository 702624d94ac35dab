#pragma once

#include <QtGlobal>

// One command for the switch: low byte the command letter, high byte the operand.
using CommandWord = qint16;

constexpr int rxBufferSize = 20;
constexpr int txBufferSize = 7;

// The wire buffers, shared by every frame built or received on the GUI thread.
// A builder writes only the bytes its frame defines; the others keep what an
// earlier frame left there and still go out when the fixed write length
// covers them. The switch has always seen these left-over bytes, so they stay.
extern quint8 rxBuffer[rxBufferSize];
extern qint8 rxCount;
extern quint8 txBuffer[txBufferSize];

namespace Protocol {

constexpr char headerFirst = 'I';
constexpr char headerSecond = 'G';
constexpr char terminator = ';';

// Frames from the switch.
constexpr char statusType = 'T';
constexpr char firmwareType = 'W';
constexpr int statusFrameLength = 12;
constexpr int firmwareFrameLength = 6;

// Frames to the switch, with the number of bytes each write carries.
constexpr char selectLetter = 'S';
constexpr char splitLetter = 'P';
constexpr char superSplitLetter = 'Q';
constexpr char rotorLetter = 'V';
constexpr int firmwareRequestLength = 4;
constexpr int pollRequestLength = 6;
constexpr int commandFrameLength = 7;

// Each builder assembles its frame in txBuffer and returns how many bytes of
// txBuffer make up the write.
int buildFirmwareRequest();
int buildPollRequest();
int buildCommandFrame(CommandWord word);

CommandWord selectWord(int position);
CommandWord splitOnWord(int currentPosition, int txPosition);
CommandWord splitOffWord();
CommandWord superSplitWord(quint8 mask);
CommandWord rotorWord(int currentPosition, int rotor);

quint8 commandLetter(CommandWord word);
quint8 commandOperand(CommandWord word);

} // namespace Protocol
