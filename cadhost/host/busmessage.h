#pragma once
// A bus message as the host handles it: a call read from libdbus, with its arguments as Qt values
// (variants as QDBusVariant, object paths as QDBusObjectPath, "an" as QList<short>, other arrays
// as QVariantList, dictionaries as QVariantMap), and the answers written back from such values.

#include <QString>
#include <QVariant>
#include <QVariantList>

struct DBusMessage;

namespace quorvel::cadhost {

class BusMessage {
public:
    // Takes a reference of its own.
    explicit BusMessage(DBusMessage* message);
    ~BusMessage();
    BusMessage(const BusMessage& other);
    BusMessage& operator=(const BusMessage& other);
    BusMessage(BusMessage&& other) noexcept;
    BusMessage& operator=(BusMessage&& other) noexcept;

    DBusMessage* raw() const { return message_; }

    QString service() const;  // the sender's unique name
    QString path() const;
    QString interface() const;
    QString member() const;
    QString signature() const;
    bool isReplyRequired() const;
    QVariantList arguments() const;

    // Answers with values that cannot be written (a type the bus does not know) become an
    // org.freedesktop.DBus.Error.Failed answer instead.
    BusMessage createReply(const QVariantList& values = {}) const;
    BusMessage createReply(const QVariant& value) const;
    BusMessage createErrorReply(const QString& name, const QString& message) const;

private:
    DBusMessage* message_ = nullptr;
};

}  // namespace quorvel::cadhost
