#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace glimmora {

/// The key-value store that keeps the user's settings between launches.
///
/// Reads never fail: a missing key, or a stored value of the wrong type, reads as false, 0, 0,
/// no string and no data. Writes may be buffered until sync().
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    /// Whether anything at all is stored under `key`, whatever its type.
    virtual bool contains(const QString& key) const = 0;
    virtual bool boolValue(const QString& key) const = 0;
    virtual float floatValue(const QString& key) const = 0;
    virtual qint64 integerValue(const QString& key) const = 0;
    virtual std::optional<QString> stringValue(const QString& key) const = 0;
    virtual std::optional<QByteArray> dataValue(const QString& key) const = 0;

    virtual void setBool(const QString& key, bool value) = 0;
    virtual void setFloat(const QString& key, float value) = 0;
    virtual void setInteger(const QString& key, qint64 value) = 0;
    virtual void setString(const QString& key, const QString& value) = 0;
    virtual void setData(const QString& key, const QByteArray& value) = 0;

    /// Writes buffered changes out. Returns false when they could not be stored.
    virtual bool sync() = 0;
};

}  // namespace glimmora
