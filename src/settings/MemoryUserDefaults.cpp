#include "settings/MemoryUserDefaults.h"

#include <cmath>

namespace glimmora {

namespace {

// Numbers and switches are all numbers to the typed reads; text and data are not.
std::optional<double> numberIn(const MemoryUserDefaults::Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) {
        return *b ? 1.0 : 0.0;
    }
    if (const float* f = std::get_if<float>(&value)) {
        return *f;
    }
    if (const qint64* i = std::get_if<qint64>(&value)) {
        return static_cast<double>(*i);
    }
    return std::nullopt;
}

}  // namespace

bool MemoryUserDefaults::contains(const QString& key) const {
    return values_.contains(key);
}

std::optional<MemoryUserDefaults::Value> MemoryUserDefaults::value(const QString& key) const {
    const auto it = values_.constFind(key);
    if (it == values_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

bool MemoryUserDefaults::boolValue(const QString& key) const {
    const auto v = value(key);
    const auto n = v ? numberIn(*v) : std::nullopt;
    return n && *n != 0.0;
}

float MemoryUserDefaults::floatValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<qint64>(*v)) {
        return static_cast<float>(std::get<qint64>(*v));
    }
    const auto n = v ? numberIn(*v) : std::nullopt;
    return n && std::isfinite(*n) ? static_cast<float>(*n) : 0.0f;
}

qint64 MemoryUserDefaults::integerValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<qint64>(*v)) {
        return std::get<qint64>(*v);
    }
    const auto n = v ? numberIn(*v) : std::nullopt;
    // A float is truncated toward zero; one that fits no integer reads as missing.
    if (!n || !std::isfinite(*n) || std::fabs(*n) >= 9.2e18) {
        return 0;
    }
    return static_cast<qint64>(*n);
}

std::optional<QString> MemoryUserDefaults::stringValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<QString>(*v)) {
        return std::get<QString>(*v);
    }
    return std::nullopt;
}

std::optional<QByteArray> MemoryUserDefaults::dataValue(const QString& key) const {
    const auto v = value(key);
    if (v && std::holds_alternative<QByteArray>(*v)) {
        return std::get<QByteArray>(*v);
    }
    return std::nullopt;
}

}  // namespace glimmora
