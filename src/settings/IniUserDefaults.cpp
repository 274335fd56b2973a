#include "settings/IniUserDefaults.h"

#include <QDir>
#include <QStringDecoder>
#include <charconv>
#include <cmath>

#include "core/Log.h"
#include "settings/SettingsFile.h"

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

IniUserDefaults::IniUserDefaults(const QString& filePath) : path_(filePath) {
    QString problem;
    if (readFile(&document_, &problem) != Found::Document && !problem.isEmpty()) {
        logLine(QStringLiteral("Settings: %1 %2; starting from the defaults")
                    .arg(path_, problem)
                    .toStdString());
    }
}

IniUserDefaults::Found IniUserDefaults::readFile(IniDocument* document, QString* problem) const {
    const SettingsFile::Contents contents = SettingsFile::read(path_);
    switch (contents.status) {
        case SettingsFile::Contents::Status::Missing:
            *document = IniDocument();
            return Found::Missing;
        case SettingsFile::Contents::Status::Refused:
            *problem = contents.problem;
            *document = IniDocument();
            return Found::Missing;
        case SettingsFile::Contents::Status::Unreadable:
            *problem = contents.problem;
            *document = IniDocument();
            return Found::Unreadable;
        case SettingsFile::Contents::Status::Read:
            break;
    }
    // A settings file is UTF-8 text; a picture or other binary file is none, even though an
    // INI reader would make something of it. A character cut off at the end counts as not
    // text too: what a save adds after it would turn it into garbage in the middle.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(contents.text);
    if (utf8.hasError() || contents.text.contains('\0')) {
        *problem = QStringLiteral("is not text");
        *document = IniDocument();
        return Found::Missing;
    }
    *document = IniDocument::parse(contents.text);
    return Found::Document;
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
    const std::optional<IniDocument::Value> value = document_.value(key);
    if (value && std::holds_alternative<QString>(*value)) {
        return std::get<QString>(*value);
    }
    return std::nullopt;  // missing, a list ("a, b"), data or a serialised variant
}

bool IniUserDefaults::contains(const QString& key) const {
    return document_.contains(key);
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
    const std::optional<IniDocument::Value> value = document_.value(key);
    if (value && std::holds_alternative<QByteArray>(*value)) {
        return std::get<QByteArray>(*value);
    }
    if (value && std::holds_alternative<QString>(*value)) {
        return std::get<QString>(*value).toUtf8();  // hand-edited text stands for its UTF-8 bytes
    }
    return std::nullopt;
}

void IniUserDefaults::set(const QString& key, IniDocument::Value value) {
    if (const auto* text = std::get_if<QString>(&value)) {
        document_.setText(key, *text);
    } else if (const auto* data = std::get_if<QByteArray>(&value)) {
        document_.setData(key, *data);
    }
    changes_.emplace_back(key, std::move(value));
}

void IniUserDefaults::setBool(const QString& key, bool value) {
    set(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void IniUserDefaults::setFloat(const QString& key, float value) {
    // The shortest text that reads back as the same float: 0.8 rather than 0.800000011920929.
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    set(key, QString::fromLatin1(text, static_cast<int>(result.ptr - text)));
}

void IniUserDefaults::setInteger(const QString& key, qint64 value) {
    set(key, QString::number(value));
}

void IniUserDefaults::setString(const QString& key, const QString& value) {
    set(key, value);
}

void IniUserDefaults::setData(const QString& key, const QByteArray& value) {
    set(key, value);
}

bool IniUserDefaults::sync() {
    if (changes_.empty()) {
        return true;
    }
    // The file as it is now, so that what other programs or versions wrote since stays.
    IniDocument current;
    QString problem;
    const Found found = readFile(&current, &problem);
    bool saved = false;
    if (found == Found::Unreadable) {
        problem += QLatin1String("; not saved over it");
    } else {
        for (const auto& [key, value] : changes_) {
            if (const auto* text = std::get_if<QString>(&value)) {
                current.setText(key, *text);
            } else if (const auto* data = std::get_if<QByteArray>(&value)) {
                current.setData(key, *data);
            }
        }
        problem.clear();
        saved = SettingsFile::replace(path_, current.text(), &problem);
    }
    if (saved) {
        document_ = std::move(current);
        changes_.clear();
        reportedProblem_.clear();
    } else if (problem != reportedProblem_) {
        logLine(QStringLiteral("Settings: %1 %2").arg(path_, problem).toStdString());
        reportedProblem_ = problem;
    }
    return saved;
}

}  // namespace glimmora
