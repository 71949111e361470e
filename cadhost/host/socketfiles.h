#pragma once
// The socket file of the direct connection: removed however the host ends, as far as a process
// can see its own end coming, and left-overs of hosts that could not (killed, crashed) removed by
// the next host.

#include <QByteArray>
#include <QString>

namespace quorvel::cadhost {

// Removes the sockets in folder that belong to this user, that no process listens on any more
// and that are older than a few seconds (a host binds and listens at once).
void clearStaleSockets(const QString& folder);

// The one socket file this process listens on: removed at exit and on the signals that end a
// process, then the signal takes its usual course. An empty path forgets it.
void removeSocketOnExit(const QByteArray& path);
// Removes the file given to removeSocketOnExit now.
void removeSocketNow();

}  // namespace quorvel::cadhost
