#include "settings/IniUserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <charconv>
#include <cmath>

namespace glimmora {

namespace {

// `text`, trimmed, read by `parse` (a QString::toFloat-like call); 0 when there is no text or
// it does not parse.
template <typename Number, typename Parse>
Number numberIn(const std::optional<QString>& text, Parse parse) {
    bool ok = false;
    const Number value = text ? parse(text->trimmed(), &ok) : Number(0);
    return ok ? value : Number(0);
}

}  // namespace

IniUserDefaults::IniUserDefaults(const QString& filePath)
    : settings_(filePath, QSettings::IniFormat) {
    settings_.setAtomicSyncRequired(true);
    settings_.setFallbacksEnabled(false);
}

QString IniUserDefaults::defaultFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG base directories: a relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QLatin1String("/.config");
    }
    return base + QLatin1String("/glimmora/glimmora.conf");
}

std::optional<QString> IniUserDefaults::textValue(const QString& key) const {
    const QVariant v = settings_.value(key);
    if (v.typeId() == QMetaType::QString) {
        return v.toString();
    }
    return std::nullopt;  // missing, a list ("a, b"), a byte array or a serialised variant
}

bool IniUserDefaults::contains(const QString& key) const {
    return settings_.contains(key);
}

bool IniUserDefaults::boolValue(const QString& key) const {
    const auto text = textValue(key);
    if (!text) {
        return false;
    }
    // What people write for a switch in INI files, in any letter case.
    const QString t = text->trimmed().toLower();
    return t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes") ||
           t == QLatin1String("on");
}

float IniUserDefaults::floatValue(const QString& key) const {
    const float value = numberIn<float>(
        textValue(key), [](const QString& text, bool* ok) { return text.toFloat(ok); });
    // "nan" or "inf" in a hand-edited file would poison every frame; treat them as garbage.
    return std::isfinite(value) ? value : 0.0f;
}

qint64 IniUserDefaults::integerValue(const QString& key) const {
    return numberIn<qint64>(textValue(key), [](const QString& text, bool* ok) {
        const qint64 whole = text.toLongLong(ok);
        if (*ok) {
            return whole;
        }
        // A whole number written with a fraction ("3.0"), as a hand edit or another tool may.
        const double real = text.toDouble(ok);
        *ok = *ok && std::isfinite(real) && real == std::trunc(real) && std::abs(real) < 9.0e15;
        return *ok ? static_cast<qint64>(real) : qint64{0};
    });
}

std::optional<QString> IniUserDefaults::stringValue(const QString& key) const {
    return textValue(key);
}

std::optional<QByteArray> IniUserDefaults::dataValue(const QString& key) const {
    const QVariant v = settings_.value(key);
    if (v.typeId() == QMetaType::QByteArray) {
        return v.toByteArray();
    }
    if (v.typeId() == QMetaType::QString) {
        return v.toString().toUtf8();  // hand-edited text stands for its UTF-8 bytes
    }
    return std::nullopt;
}

void IniUserDefaults::setBool(const QString& key, bool value) {
    settings_.setValue(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void IniUserDefaults::setFloat(const QString& key, float value) {
    // The shortest text that reads back as the same float: 0.8 rather than 0.800000011920929.
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    settings_.setValue(key, QString::fromLatin1(text, static_cast<int>(result.ptr - text)));
}

void IniUserDefaults::setInteger(const QString& key, qint64 value) {
    settings_.setValue(key, QString::number(value));
}

void IniUserDefaults::setString(const QString& key, const QString& value) {
    settings_.setValue(key, value);
}

void IniUserDefaults::setData(const QString& key, const QByteArray& value) {
    settings_.setValue(key, value);
}

bool IniUserDefaults::sync() {
    const QString directory = QFileInfo(settings_.fileName()).absolutePath();
    QDir().mkpath(directory);
    settings_.sync();
    return settings_.status() == QSettings::NoError;
}

}  // namespace glimmora
