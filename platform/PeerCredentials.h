#pragma once

#include <QtGlobal>

namespace PeerCredentials {

// True when the process at the other end of a connected local socket runs as this user.
bool isSameUser(qintptr socketDescriptor);

} // namespace PeerCredentials
