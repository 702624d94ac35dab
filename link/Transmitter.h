#pragma once

#include "link/Protocol.h"

class QSerialPort;

// The program's one serial port, created by the main window; GUI thread only.
extern QSerialPort *serialPort;

// Each frame is built in txBuffer and written in one call, only while the
// port is open. Writes are fire-and-forget: the switch's answers are read by
// the receive step, never awaited here.
namespace Transmitter {

void sendFirmwareRequest();
void sendPollRequest();
void sendCommand(CommandWord word);

} // namespace Transmitter
