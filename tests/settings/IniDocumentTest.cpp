#include "settings/IniDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace glimmora {
namespace {

/// QSettings reading and writing files, to hold the document to the same dialect.
class IniDocumentTest : public ::testing::Test {
protected:
    /// A new file each time: QSettings caches a file it has read while its size and time stay.
    QString newPath() { return dir_.filePath(QStringLiteral("%1.conf").arg(++files_)); }

    QString fileWith(const QByteArray& text) {
        const QString path = newPath();
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        return path;
    }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    /// How QSettings reads key `k` of `text`, in the document's terms.
    std::optional<IniDocument::Value> qsettingsValue(const QByteArray& text) {
        const QSettings settings(fileWith(text), QSettings::IniFormat);
        const QVariant v = settings.value("k");
        if (!v.isValid()) {
            return settings.contains("k")
                       ? std::optional(IniDocument::Value(IniDocument::OtherValue{}))
                       : std::nullopt;
        }
        if (v.typeId() == QMetaType::QString) {
            return v.toString();
        }
        if (v.typeId() == QMetaType::QByteArray) {
            return v.toByteArray();
        }
        return IniDocument::OtherValue{};
    }

    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_F(IniDocumentTest, WritesEachValueAsQSettingsDoesAndBothReadItBack) {
    const QString texts[] = {
        "true",
        "-0.8",
        "",
        "Night Mode, \"quiet\" = on; @home",
        "@at the start",
        "tab\tline\nbreak\\",
        QStringLiteral("na\u00efve \U0001F319"),
    };
    const QByteArray data[] = {
        QByteArray("[{\"a\":1}]\n\0tail", 15),
        "",
    };
    std::vector<IniDocument::Value> values(std::begin(texts), std::end(texts));
    values.insert(values.end(), std::begin(data), std::end(data));
    for (const IniDocument::Value& value : values) {
        const auto* text = std::get_if<QString>(&value);
        const QVariant variant = text ? QVariant(*text) : QVariant(std::get<QByteArray>(value));
        SCOPED_TRACE(variant.toString().toStdString());
        const QString theirs = newPath();
        QSettings(theirs, QSettings::IniFormat).setValue("k", variant);
        IniDocument ours;
        text ? ours.setText("k", *text) : ours.setData("k", std::get<QByteArray>(value));
        EXPECT_EQ(ours.text(), contents(theirs));
        EXPECT_EQ(IniDocument::parse(contents(theirs)).value("k"), value);
        EXPECT_EQ(qsettingsValue(ours.text()), value);
    }
}

TEST_F(IniDocumentTest, ReadsHandEditedLinesAsQSettingsDoes) {
    const QByteArray texts[] = {
        "k = 1 ; a note",
        "k=\"a;b\" ",
        "k=a, b",
        "k=1\nk=2",
        "[Other]\nk=1",
        "; note\n \nk=1;note\n  k=2",
        "# not a comment\nk=1",
        "\xef\xbb\xbfk=bom",
    };
    for (const QByteArray& text : texts) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(IniDocument::parse(text).value("k"), qsettingsValue(text));
    }
}

// Lines we do not own are kept as they were (IniUserDefaultsTest checks that with a whole file);
// here, where the new keys go.
TEST_F(IniDocumentTest, NewKeysGoWhereTheNextReadFindsThem) {
    // Without a top-level part, they go into a [General] section of their own at the end.
    IniDocument other = IniDocument::parse("[Other]\nk=1");
    other.setText("k", "2");
    EXPECT_EQ(other.text(), "[Other]\nk=1\n\n[General]\nk=2\n");

    // A text that ends inside quotes would take in whatever came after: new keys go first.
    for (const QByteArray open : {"[Other]\nk=\"open", "[General]\nk=1\\"}) {
        IniDocument added = IniDocument::parse(open);
        added.setText("new", "1");
        const IniDocument reread = IniDocument::parse(added.text());
        EXPECT_EQ(reread.value("new"), IniDocument::Value(QStringLiteral("1"))) << open.data();
        EXPECT_EQ(reread.value("k"), IniDocument::parse(open).value("k")) << open.data();
    }
}

}  // namespace
}  // namespace glimmora
