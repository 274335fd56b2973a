#pragma once

#include <QHash>
#include <variant>

#include "settings/UserDefaults.h"

namespace glimmora {

/// UserDefaults kept in memory, for tests and for tools that must not touch the user's file.
/// Values keep their type: numbers and switches convert into one another as the typed reads
/// expect, a string or data read as a number is a wrong type and reads as missing.
class MemoryUserDefaults final : public UserDefaults {
public:
    using Value = std::variant<bool, float, qint64, QString, QByteArray>;

    bool contains(const QString& key) const override;
    bool boolValue(const QString& key) const override;
    float floatValue(const QString& key) const override;
    qint64 integerValue(const QString& key) const override;
    std::optional<QString> stringValue(const QString& key) const override;
    std::optional<QByteArray> dataValue(const QString& key) const override;

    void setBool(const QString& key, bool value) override { values_.insert(key, value); }
    void setFloat(const QString& key, float value) override { values_.insert(key, value); }
    void setInteger(const QString& key, qint64 value) override { values_.insert(key, value); }
    void setString(const QString& key, const QString& value) override {
        values_.insert(key, value);
    }
    void setData(const QString& key, const QByteArray& value) override {
        values_.insert(key, value);
    }
    bool sync() override { return true; }

    void remove(const QString& key) { values_.remove(key); }
    void clear() { values_.clear(); }
    int size() const { return static_cast<int>(values_.size()); }
    /// The stored value, for tests that check what was written and with which type.
    std::optional<Value> value(const QString& key) const;

private:
    QHash<QString, Value> values_;
};

}  // namespace glimmora
