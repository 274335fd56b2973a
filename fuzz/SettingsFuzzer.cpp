// libFuzzer target over what reads the user's settings: the settings file loader (the INI text,
// the values in it, the load rules and ranges) and the focus-profile JSON decoder. Built by
// scripts/fuzz with clang, AddressSanitizer and UBSan.
//
// Each input is used twice: as the JSON text of a profile list, and as the whole settings
// file. The invariants, any breach of which aborts the run:
//   1. Loading never crashes and never reads past what it was given (the sanitizers watch).
//   2. Every number loaded lies within its setting's range.
//   3. A profile list that decodes encodes, and the encoding decodes to the same list.
//   4. Saving into a regular, writable file reports success, and a reported success is true:
//      loading the saved file gives exactly the settings that were saved.
//   5. Saving keeps every key that is not a setting, with its value, when the file was text.

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QMap>
#include <QStringDecoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "core/Log.h"
#include "settings/AppState.h"
#include "settings/FocusProfile.h"
#include "settings/IniDocument.h"
#include "settings/IniUserDefaults.h"
#include "settings/SettingsByName.h"
#include "settings/SettingsTable.h"

namespace {

using namespace glimmora;

void require(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

/// A private folder for the settings file, on a memory file system when there is one, removed
/// when the run ends.
QString settingsPath() {
    static QByteArray folder = "/dev/shm/glimmora-fuzz-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        folder = "/tmp/glimmora-fuzz-XXXXXX";
        require(::mkdtemp(folder.data()) != nullptr, "a folder for the settings file");
    }
    std::atexit([] {
        ::unlink((folder + "/glimmora.conf").constData());
        ::rmdir(folder.constData());
    });
    return QFile::decodeName(folder) + QStringLiteral("/glimmora.conf");
}

QMap<QString, QString> everySetting(const AppState& state) {
    QMap<QString, QString> texts;
    for (const QString& name : settingNames()) {
        texts.insert(name, settingText(state, name).value_or(QString()));
    }
    return texts;
}

bool inRange(const AppState& state) {
    bool all = true;
    for (const SettingRow& row : settingsTable()) {
        std::visit(
            [&](auto member) {
                const auto& value = (state.*member)();
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, float> || std::is_same_v<T, qint64>) {
                    all = all && value >= static_cast<T>(row.range->lowest) &&
                          value <= static_cast<T>(row.range->highest);
                }
            },
            row.member);
    }
    return all;
}

bool isText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return !utf8.hasError() && !bytes.contains('\0');
}

void checkProfiles(const QByteArray& bytes) {
    const std::optional<std::vector<FocusProfile>> profiles = decodeFocusProfiles(bytes);
    if (!profiles) {
        return;
    }
    const std::optional<QByteArray> json = encodeFocusProfiles(*profiles);
    require(json.has_value(), "a decoded profile list encodes");
    require(decodeFocusProfiles(*json) == profiles, "a profile list survives encoding");
}

void checkSettingsFile(const QByteArray& bytes) {
    static const QString path = settingsPath();
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(bytes) == bytes.size(),
                "the input is written");
    }
    IniUserDefaults defaults(path);
    AppState state(defaults);
    require(inRange(state), "loaded numbers are within range");
    const QMap<QString, QString> loaded = everySetting(state);

    std::set<QString> settingKeys;
    for (const SettingRow& row : settingsTable()) {
        settingKeys.insert(QString::fromLatin1(row.name));
    }
    const IniDocument before = IniDocument::parse(bytes);
    require(state.saveSettings(), "saving into a regular file succeeds");

    IniUserDefaults reread(path);
    const AppState again(reread);
    require(everySetting(again) == loaded, "saved settings load back unchanged");

    if (isText(bytes) && bytes.size() <= 1 << 20) {
        QFile file(path);
        require(file.open(QIODevice::ReadOnly), "the saved file reads");
        const IniDocument after = IniDocument::parse(file.readAll());
        for (const QString& key : before.keys()) {
            if (!settingKeys.contains(key)) {
                require(after.value(key) == before.value(key), "other keys keep their values");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        glimmora::setLogSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkProfiles(bytes);
    checkSettingsFile(bytes);
    return 0;
}
