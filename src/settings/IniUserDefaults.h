#pragma once

#include <QSettings>

#include "settings/UserDefaults.h"

namespace glimmora {

/// UserDefaults in an INI file through QSettings; keys are the property names.
///
/// Every value is written as text we control (true/false, the shortest decimal of a float,
/// plain integers), so the file stays readable and hand-editable. QSettings saves through
/// QSaveFile: the new file is written aside and renamed over the old one, so a crash during a
/// save leaves either the old or the new file, never half of one. A file that cannot be read,
/// or a value that does not parse as the type asked for, reads as a missing key.
class IniUserDefaults final : public UserDefaults {
public:
    explicit IniUserDefaults(const QString& filePath);

    /// $XDG_CONFIG_HOME/glimmora/glimmora.conf, with ~/.config when the variable is unset.
    static QString defaultFilePath();
    QString filePath() const { return settings_.fileName(); }

    bool contains(const QString& key) const override;
    bool boolValue(const QString& key) const override;
    float floatValue(const QString& key) const override;
    qint64 integerValue(const QString& key) const override;
    std::optional<QString> stringValue(const QString& key) const override;
    std::optional<QByteArray> dataValue(const QString& key) const override;

    void setBool(const QString& key, bool value) override;
    void setFloat(const QString& key, float value) override;
    void setInteger(const QString& key, qint64 value) override;
    void setString(const QString& key, const QString& value) override;
    void setData(const QString& key, const QByteArray& value) override;
    bool sync() override;

private:
    std::optional<QString> textValue(const QString& key) const;

    QSettings settings_;
};

}  // namespace glimmora
