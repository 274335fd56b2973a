#include "platform/atspi/AtspiMessageCodec.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QStringList>
#include <QVariant>

namespace glimmora {

namespace {

using Kind = AtspiRequest::Kind;

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kText = QStringLiteral("org.a11y.atspi.Text");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

/// Adds what one reply argument holds to `reply`: numbers, text, names or objects, also from
/// inside variants, structures (extents) and arrays (state words, children).
void collect(const QVariant& value, AtspiReply& reply);

void collect(const QDBusArgument& argument, AtspiReply& reply) {
    const QString signature = argument.currentSignature();
    if (signature == QLatin1String("a(so)")) {
        argument.beginArray();
        while (!argument.atEnd()) {
            QString bus;
            QDBusObjectPath path;
            argument.beginStructure();
            argument >> bus >> path;
            argument.endStructure();
            reply.objects.push_back({bus.toStdString(), path.path().toStdString()});
        }
        argument.endArray();
    } else if (signature == QLatin1String("au")) {
        QList<uint> words;
        argument >> words;
        for (uint word : words) {
            reply.numbers.push_back(word);
        }
    } else if (signature.startsWith(QLatin1Char('('))) {
        argument.beginStructure();
        while (!argument.atEnd()) {
            collect(argument.asVariant(), reply);
        }
        argument.endStructure();
    }
}

void collect(const QVariant& value, AtspiReply& reply) {
    switch (value.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            reply.numbers.push_back(value.toLongLong());
            return;
        case QMetaType::QString:
            reply.text = value.toString().toStdString();
            return;
        case QMetaType::QStringList:
            for (const QString& name : value.toStringList()) {
                reply.names.push_back(name.toStdString());
            }
            return;
        default:
            break;
    }
    if (value.canConvert<QDBusVariant>()) {
        collect(value.value<QDBusVariant>().variant(), reply);
    } else if (value.canConvert<QDBusArgument>()) {
        collect(value.value<QDBusArgument>(), reply);
    }
}

}  // namespace

QDBusMessage atspiMethodCall(const std::string& bus, const std::string& path,
                             const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(QString::fromStdString(bus), QString::fromStdString(path),
                                          interface, method);
}

QDBusMessage atspiMessageFor(const AtspiObject& object, const AtspiRequest& request) {
    const auto text = [&](const char* method) {
        return atspiMethodCall(object.bus, object.path, kText, QString::fromLatin1(method));
    };
    const auto coordinates = static_cast<uint>(request.coordinates);
    QDBusMessage message;
    switch (request.kind) {
        case Kind::selectionCount:
            return text("GetNSelections");
        case Kind::selection:
            message = text("GetSelection");
            message << request.first;
            return message;
        case Kind::rangeExtents:
            message = text("GetRangeExtents");
            message << request.first << request.second << coordinates;
            return message;
        case Kind::caretOffset:
            message = atspiMethodCall(object.bus, object.path, kProperties, QStringLiteral("Get"));
            message << kText << QStringLiteral("CaretOffset");
            return message;
        case Kind::characterExtents:
            message = text("GetCharacterExtents");
            message << request.first << coordinates;
            return message;
        case Kind::text:
            message = text("GetText");
            message << request.first << request.second;
            return message;
        case Kind::state:
            return atspiMethodCall(object.bus, object.path, kAccessible,
                                   QStringLiteral("GetState"));
        case Kind::objectExtents:
            message =
                atspiMethodCall(object.bus, object.path, QStringLiteral("org.a11y.atspi.Component"),
                                QStringLiteral("GetExtents"));
            message << coordinates;
            return message;
        case Kind::interfaces:
            return atspiMethodCall(object.bus, object.path, kAccessible,
                                   QStringLiteral("GetInterfaces"));
        case Kind::children:
            return atspiMethodCall(object.bus, object.path, kAccessible,
                                   QStringLiteral("GetChildren"));
    }
    return message;
}

AtspiReply atspiReplyOf(const QDBusMessage& message) {
    AtspiReply reply;
    reply.ok = message.type() == QDBusMessage::ReplyMessage;
    if (!reply.ok) {
        reply.errorName = message.errorName().toStdString();
        reply.errorMessage = message.errorMessage().toStdString();
        return reply;
    }
    for (const QVariant& argument : message.arguments()) {
        collect(argument, reply);
    }
    return reply;
}

}  // namespace glimmora
