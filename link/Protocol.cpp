#include "link/Protocol.h"

#include <cstring>

quint8 rxBuffer[rxBufferSize] = {};
qint8 rxCount = 0;
quint8 txBuffer[txBufferSize] = {};

namespace Protocol {

namespace {

constexpr quint8 digitZero = '0';
// "P" frames carry nibble + 0x2F, so an unused position (nibble 0) reads "/".
constexpr quint8 splitNibbleBase = 0x2F;

CommandWord makeWord(unsigned operand, char letter)
{
    const auto raw = static_cast<quint16>(((operand & 0xFFu) << 8) | static_cast<quint8>(letter));
    return static_cast<CommandWord>(raw);
}

void putHeader(char type)
{
    txBuffer[0] = headerFirst;
    txBuffer[1] = headerSecond;
    txBuffer[2] = static_cast<quint8>(type);
}

} // namespace

int buildFirmwareRequest()
{
    putHeader(firmwareType);
    txBuffer[3] = terminator;
    return firmwareRequestLength;
}

int buildPollRequest()
{
    putHeader(statusType);
    txBuffer[3] = '3';
    txBuffer[4] = terminator;
    return pollRequestLength;
}

int buildCommandFrame(CommandWord word)
{
    // Bytes 0 and 1 are left alone: the firmware request wrote "IG" there as
    // soon as the port opened, and nothing is written while it is closed.
    const quint8 letter = commandLetter(word);
    const quint8 operand = commandOperand(word);
    const quint8 highNibble = operand >> 4;
    const quint8 lowNibble = operand & 0x0F;
    txBuffer[2] = letter;
    switch (letter) {
    case selectLetter:
        txBuffer[3] = static_cast<quint8>(digitZero + operand);
        txBuffer[4] = terminator;
        break;
    case superSplitLetter:
        txBuffer[3] = operand;
        txBuffer[4] = terminator;
        break;
    case rotorLetter:
        txBuffer[3] = static_cast<quint8>(digitZero + highNibble);
        txBuffer[4] = static_cast<quint8>(digitZero + lowNibble);
        txBuffer[5] = terminator;
        break;
    case splitLetter:
        txBuffer[3] = static_cast<quint8>(splitNibbleBase + highNibble);
        txBuffer[4] = static_cast<quint8>(splitNibbleBase + lowNibble);
        txBuffer[5] = lowNibble != 0 ? '1' : '0';
        txBuffer[6] = terminator;
        break;
    default:
        break;
    }
    return commandFrameLength;
}

CommandWord selectWord(int position)
{
    return makeWord(static_cast<unsigned>(position), selectLetter);
}

CommandWord splitOnWord(int currentPosition, int txPosition)
{
    const unsigned operand = (static_cast<unsigned>(currentPosition + 1) << 4)
                             | (static_cast<unsigned>(txPosition + 1) & 0x0Fu);
    return makeWord(operand, splitLetter);
}

CommandWord splitOffWord()
{
    return makeWord(0, splitLetter);
}

CommandWord superSplitWord(quint8 mask)
{
    return makeWord(mask, superSplitLetter);
}

CommandWord rotorWord(int currentPosition, int rotor)
{
    const unsigned operand = (static_cast<unsigned>(currentPosition + 1) << 4)
                             | static_cast<unsigned>(rotor);
    return makeWord(operand, rotorLetter);
}

quint8 commandLetter(CommandWord word)
{
    return static_cast<quint8>(static_cast<quint16>(word) & 0xFFu);
}

quint8 commandOperand(CommandWord word)
{
    return static_cast<quint8>(static_cast<quint16>(word) >> 8);
}

} // namespace Protocol
