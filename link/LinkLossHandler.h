#pragma once

#include <QString>

// Someone who takes over when the serial device goes away, in place of the
// "Critical Error" box. The window tells it how the link comes and goes; every
// call comes on the GUI thread.
class LinkLossHandler
{
public:
    virtual ~LinkLossHandler() = default;

    // The port is open, under portName. message is what the status bar now says.
    virtual void linkOpened(const QString &portName, const QString &message) = 0;
    // A status or firmware frame came from the switch.
    virtual void switchAnswered() = 0;
    // The port was closed: the operator chose Disconnect, or a loss is about
    // to be reported.
    virtual void linkClosed() = 0;
    // The device behind portName went away and the port is closed. True when
    // the handler takes it from here; the window then shows no box.
    virtual bool linkLost(const QString &portName) = 0;
};
