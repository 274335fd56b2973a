#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

namespace glimmora {

/// A settings file in the INI dialect of QSettings, kept as the text it was read from, so that
/// saving rewrites only the values that were set and leaves every other line as it was:
/// comments, keys of other versions or programs, and lines no INI reader understands.
///
/// Reading follows QSettings line by line, so that both read a file alike: a line ends at an
/// unquoted line break or semicolon (the rest of the line is a comment), a backslash escapes the
/// next character, `[section]` starts a section, `key=value` sets a key. The keys offered here
/// are the top-level ones, above the first section or in a `[General]` section; keys of other
/// sections are kept but not offered. Values are written exactly as QSettings writes them:
/// quoted when they hold `;`, `,` or `=` or start or end with a space, with backslash escapes,
/// `@ByteArray(...)` around data and a doubled `@` before text that starts with one.
///
/// Plain data, no I/O; the text given to parse() may hold anything.
class IniDocument {
public:
    /// A stored value that is neither text nor data: a list, a serialised variant.
    struct OtherValue {
        bool operator==(const OtherValue&) const = default;
    };
    using Value = std::variant<QString, QByteArray, OtherValue>;

    /// Reads `text`. Never fails: whatever is not a section or a key is kept as it is.
    static IniDocument parse(const QByteArray& text);
    /// The document as text: what was parsed, with the values set since in place.
    QByteArray text() const;

    /// The top-level keys that are set, each once, in the order they first appear.
    std::vector<QString> keys() const;
    bool contains(const QString& key) const;
    /// The value of a top-level key (the last one when the key appears more than once).
    std::optional<Value> value(const QString& key) const;

    /// Sets every occurrence of `key`, or adds it at the end of the top-level keys.
    void setText(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);

private:
    /// One run of the text: a top-level key line, a `[General]` line, or anything else.
    struct Piece {
        enum class Kind { Other, TopLevelKey, GeneralSection };
        Kind kind = Kind::Other;
        QByteArray raw;
        QString key;               // TopLevelKey only
        qsizetype valueStart = 0;  // where the value starts in `raw`; it runs to the end
    };

    void setValue(const QString& key, const QByteArray& escapedValue);
    const Piece* lastPieceFor(const QString& key) const;

    QByteArray byteOrderMark_;  // kept at the start, outside the pieces
    std::vector<Piece> pieces_;
    /// The text ends inside quotes or after a backslash: nothing may be added after it.
    bool endsOpen_ = false;
    /// Keys added at the start because of that, so that the next goes after them.
    int keysAtStart_ = 0;
};

}  // namespace glimmora
