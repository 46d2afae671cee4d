#include "platform/PeerCredentials.h"

#include <sys/socket.h>
#include <unistd.h>

namespace PeerCredentials {

bool isSameUser(qintptr socketDescriptor) {
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == ::getuid();
}

} // namespace PeerCredentials
