#pragma once
// Starts a private dbus-daemon for a test and reads the address it prints.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace quorvel::testsupport {

// Starts `daemon` with the bus configuration at configPath, its output and log in logFolder, and
// returns the bus address once the daemon has printed it; an empty text when it did not start.
// Hosts started by activation write to the daemon's output: it goes into files, never into a pipe
// that nobody reads and that would stop them once full.
QString startBusDaemon(QProcess& daemon, const QString& configPath, const QString& logFolder,
                       const QProcessEnvironment& environment, int timeoutMs = 20000);

}  // namespace quorvel::testsupport
