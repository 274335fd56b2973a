#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "settings/IniDocument.h"
#include "settings/UserDefaults.h"

namespace glimmora {

/// UserDefaults in an INI file that QSettings reads and writes alike; keys are the property
/// names.
///
/// Every value is written as text we control (true/false, the shortest decimal of a float,
/// plain integers), so the file stays readable and hand-editable. The file is read once, when
/// the object is made, and only if it is a regular text file of sane size (SettingsFile);
/// anything else reads as missing, with one line saying why. A value that does not parse as the
/// type asked for reads as a missing key.
///
/// sync() reads the file again, puts the values set since the last sync into it and replaces it
/// (SettingsFile::replace: atomic, never anything but a regular file, mode 0600). Lines it does
/// not own stay as they were: other keys, comments, lines it cannot read. It reports success
/// exactly when the new file is on the disk.
class IniUserDefaults final : public UserDefaults {
public:
    explicit IniUserDefaults(const QString& filePath);

    /// $XDG_CONFIG_HOME/glimmora/glimmora.conf, with ~/.config when the variable is unset.
    static QString defaultFilePath();
    QString filePath() const { return path_; }

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
    /// What a settings file holds now, or nothing with `problem` set: a file that is not a
    /// regular text file of sane size counts as missing, one that cannot be read as unknown.
    enum class Found { Document, Missing, Unreadable };
    Found readFile(IniDocument* document, QString* problem) const;
    std::optional<QString> textValue(const QString& key) const;
    void set(const QString& key, IniDocument::Value value);

    QString path_;
    IniDocument document_;
    /// The values set since the last successful sync, in order.
    std::vector<std::pair<QString, IniDocument::Value>> changes_;
    /// The last save problem reported, so that a file that stays unwritable is named once.
    QString reportedProblem_;
};

}  // namespace glimmora
