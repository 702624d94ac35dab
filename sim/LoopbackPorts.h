#pragma once

#include <QByteArray>

// What the servers tests start need of the machine: a free port on the
// loopback address, whether something listens there, and who we run as.
namespace LoopbackPorts {

// A port the kernel has just handed out and nobody listens on; 0 when none.
int freeLoopbackPort();
bool canConnect(int port);
// The user we run as: a server started as root drops to another user, who
// could not read the files in our private folders; naming this one keeps it.
QByteArray currentUser();

} // namespace LoopbackPorts
