#include "settings/SettingsByName.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <variant>

#include "settings/AppState.h"
#include "settings/SettingsTable.h"

namespace glimmora {

namespace {

template <typename M>
struct MemberValue;
template <typename T>
struct MemberValue<SettingMember<T>> {
    using type = T;
};

/// The whole of `text` as a number, or nothing. std::from_chars takes no sign "+", no
/// whitespace and no locale, and rounds a decimal straight to the target type.
template <typename Number>
std::optional<Number> parseNumber(QStringView text) {
    const QByteArray bytes = text.toUtf8();
    const char* const end = bytes.constData() + bytes.size();
    Number value{};
    const auto [ptr, ec] = std::from_chars(bytes.constData(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

/// How each property type reads and writes its text form; `expected` completes the sentence
/// "... is not <expected>" in error messages.
template <typename T>
struct TextForm;

template <>
struct TextForm<bool> {
    static constexpr const char* expected = "true or false";
    static std::optional<bool> parse(QStringView text) {
        if (text == QLatin1String("true")) {
            return true;
        }
        if (text == QLatin1String("false")) {
            return false;
        }
        return std::nullopt;
    }
    static QString format(bool value) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }
};

template <>
struct TextForm<float> {
    static constexpr const char* expected = "a finite decimal number";
    static std::optional<float> parse(QStringView text) {
        // from_chars accepts "inf" and "nan"; neither means anything to an effect parameter.
        const std::optional<float> value = parseNumber<float>(text);
        return value && std::isfinite(*value) ? value : std::nullopt;
    }
    static QString format(float value) {
        // The shortest text that reads back as the same float: 0.8, not 0.800000011920929.
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, value);
        return QString::fromLatin1(text, static_cast<qsizetype>(result.ptr - text));
    }
};

template <>
struct TextForm<qint64> {
    static constexpr const char* expected = "an integer";
    static std::optional<qint64> parse(QStringView text) { return parseNumber<qint64>(text); }
    static QString format(qint64 value) { return QString::number(value); }
};

template <>
struct TextForm<QString> {
    static constexpr const char* expected = "text";
    static std::optional<QString> parse(QStringView text) { return text.toString(); }
    static QString format(const QString& value) { return value; }
};

template <>
struct TextForm<std::vector<FocusProfile>> {
    static constexpr const char* expected = "a JSON array of focus profiles";
    static std::optional<std::vector<FocusProfile>> parse(QStringView text) {
        return decodeFocusProfiles(text.toUtf8());
    }
    static QString format(const std::vector<FocusProfile>& value) {
        const std::optional<QByteArray> json = encodeFocusProfiles(value);
        return json ? QString::fromUtf8(*json) : QString();
    }
};

const SettingRow* findProperty(QStringView name) {
    // Setting names are ASCII: anything else names no setting.
    for (const QChar c : name) {
        if (c.unicode() > 0x7f) {
            return nullptr;
        }
    }
    return findSetting(name.toLatin1().toStdString());
}

/// `value` for an error line: at most 40 characters, control characters (a JSON text's line
/// breaks) shown as spaces, so the message stays one short line.
QString quotedForMessage(QStringView value) {
    constexpr qsizetype kLongest = 40;
    QString shown = value.left(kLongest).toString();
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' ');
        }
    }
    if (value.size() > kLongest) {
        shown += QLatin1String("...");
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

void setError(QString* error, QString message) {
    if (error != nullptr) {
        *error = std::move(message);
    }
}

/// Parses `value` for `property`; on success hands the parsed value to `use`.
template <typename Use>
bool parseFor(const SettingRow& property, QStringView value, QString* error, Use use) {
    return std::visit(
        [&](auto member) {
            using T = typename MemberValue<decltype(member)>::type;
            std::optional<T> parsed = TextForm<T>::parse(value);
            if (!parsed) {
                setError(error, QStringLiteral("%1: %2 is not %3")
                                    .arg(QLatin1String(property.name), quotedForMessage(value),
                                         QLatin1String(TextForm<T>::expected)));
                return false;
            }
            use(member, std::move(*parsed));
            return true;
        },
        property.member);
}

const SettingRow* findOrComplain(QStringView name, QString* error) {
    const SettingRow* property = findProperty(name);
    if (property == nullptr) {
        setError(error, QStringLiteral("unknown setting %1").arg(quotedForMessage(name)));
    }
    return property;
}

}  // namespace

QStringList settingNames() {
    QStringList names;
    for (const SettingRow& row : settingsTable()) {
        names.append(QString::fromLatin1(row.name));
    }
    return names;
}

bool isSettingName(QStringView name) {
    return findProperty(name) != nullptr;
}

bool setSettingFromText(AppState& settings, QStringView name, QStringView value, QString* error) {
    const SettingRow* property = findOrComplain(name, error);
    if (property == nullptr) {
        return false;
    }
    return parseFor(*property, value, error, [&settings, property](auto member, auto parsed) {
        settings.*member = withinRange(*property, std::move(parsed));
    });
}

bool isValidSettingText(QStringView name, QStringView value, QString* error) {
    const SettingRow* property = findOrComplain(name, error);
    if (property == nullptr) {
        return false;
    }
    return parseFor(*property, value, error, [](auto, auto) {});
}

std::optional<QString> settingText(const AppState& settings, QStringView name) {
    const SettingRow* property = findProperty(name);
    if (property == nullptr) {
        return std::nullopt;
    }
    return std::visit(
        [&settings](auto member) {
            using T = typename MemberValue<decltype(member)>::type;
            return TextForm<T>::format((settings.*member)());
        },
        property->member);
}

}  // namespace glimmora
