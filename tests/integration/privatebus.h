#pragma once
// A private session bus for one test, started from the build's bus configuration (which knows
// this build's cad-host), and the ezdxf helpers that write drawings and read them back.

#include <QDBusConnection>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include <sys/types.h>

namespace quorvel::integration {

class PrivateBus {
public:
    // Which cad-host the bus starts when the name is asked for.
    enum class Activation { BuildHost, None, FailingHost };

    explicit PrivateBus(Activation activation = Activation::BuildHost);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool started() const { return connection_.isConnected(); }
    const QString& address() const { return address_; }
    QDBusConnection connection() const { return connection_; }

    // Starts cad-host by hand on this bus and waits until it owns its name.
    bool startHostByHand(const QString& release = QStringLiteral("R2000"));
    // Process id of the name's owner, 0 when none.
    pid_t hostPid() const;
    bool hostRunning() const { return hostPid() != 0; }
    pid_t daemonPid() const { return static_cast<pid_t>(daemon_.processId()); }

private:
    void stopHosts();

    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    QDBusConnection connection_{QString()};  // not connected until the daemon answers
    std::vector<std::unique_ptr<QProcess>> handStartedHosts_;
    std::vector<pid_t> seenHosts_;
};

// Drawings written and read back by ezdxf, an independent DXF implementation.
namespace ezdxf {

// Runs tests/integration/drawings.py with the arguments; false when it fails.
bool run(const QStringList& arguments, QByteArray* output = nullptr);
// kind: r12 (GBK), r2000 (GBK), r2018 (UTF-8).
bool write(const QString& kind, const QString& path);
// The model-space entities, one JSON object each (type, layer, text, height, halign, valign).
std::vector<QJsonObject> entities(const QString& path);
// Texts of the TEXT entities, in drawing order.
QStringList texts(const QString& path);

}  // namespace ezdxf

QByteArray fileBytes(const QString& path);

}  // namespace quorvel::integration
