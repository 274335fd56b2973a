#include "settings/IniDocument.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <algorithm>
#include <cstdint>

namespace glimmora {

namespace {

bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || isLineBreak(c);
}

int hexDigit(uint c) {
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    return -1;
}

int octalDigit(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

/// The end of the logical line that starts at `start`: the first line break or semicolon
/// outside quotes. A backslash hides the character after it (a line break after a backslash
/// continues the line); quotes may span lines. Sets `equals` to the first `=` outside quotes,
/// or -1, and `open` when the text ends inside quotes or right after a backslash, so that
/// whatever came after would still be part of this line.
qsizetype lineEnd(const QByteArray& text, qsizetype start, qsizetype* equals, bool* open) {
    const qsizetype size = text.size();
    bool inQuotes = false;
    *equals = -1;
    *open = false;
    qsizetype i = start;
    while (i < size) {
        const char c = text[i];
        if (c == '=') {
            if (!inQuotes && *equals == -1) {
                *equals = i;
            }
        } else if ((isLineBreak(c) || c == ';') && !inQuotes) {
            return i;
        } else if (c == '\\') {
            *open = i + 1 == size;
            if (i + 1 < size) {
                const char escaped = text[++i];
                // "\r\n" and "\n\r" after a backslash are one line break.
                if (i + 1 < size && isLineBreak(text[i + 1]) && text[i + 1] != escaped &&
                    isLineBreak(escaped)) {
                    ++i;
                }
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        }
        ++i;
    }
    *open = *open || inQuotes;
    return size;
}

/// A key as written in the file: `\` stands for `/`, `%XX` and `%UXXXX` for that character.
QString unescapedKey(const QByteArray& raw) {
    const QString text = QString::fromUtf8(raw);
    QString key;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < text.size()) {
            const bool wide = text[i + 1] == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            if (first + digits <= text.size()) {
                uint code = 0;
                bool ok = true;
                for (qsizetype d = first; d < first + digits; ++d) {
                    const int h = hexDigit(text[d].unicode());
                    ok = ok && h >= 0;
                    code = code * 16 + static_cast<uint>(std::max(h, 0));
                }
                if (ok) {
                    key += QChar(static_cast<char16_t>(code));
                    i = first + digits;
                    continue;
                }
            }
        }
        key += c;
        ++i;
    }
    return key;
}

QByteArray escapedKey(const QString& key) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray raw;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/') {
            raw += '\\';
        } else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                   (u >= u'0' && u <= u'9') || u == u'_' || u == u'-' || u == u'.') {
            raw += static_cast<char>(u);
        } else if (u <= 0xff) {
            raw += '%';
            raw += kHex[u >> 4];
            raw += kHex[u & 0xf];
        } else {
            raw += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) {
                raw += kHex[(u >> shift) & 0xf];
            }
        }
    }
    return raw;
}

void chopTrailingBlanks(QString& s, qsizetype limit) {
    while (s.size() > limit && (s.back() == u' ' || s.back() == u'\t')) {
        s.chop(1);
    }
}

/// The text of a value as QSettings reads it: quotes group, backslashes escape (C escapes,
/// `\x` hex and octal character codes), an unquoted comma separates list items, blanks around
/// unquoted items are dropped. Returns true when it is a list (then `items` holds it).
bool unescapedValue(const QByteArray& raw, QString& text, QStringList& items) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const qsizetype size = raw.size();
    bool isList = false;
    bool inQuotes = false;
    bool isQuoted = false;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < size && (raw[i] == ' ' || raw[i] == '\t')) {
            ++i;
        }
    };
    skipBlanks();
    // Blanks after this length may be chopped: an escaped blank is kept.
    qsizetype chopLimit = 0;
    bool choppedAtEnd = true;
    while (i < size) {
        const char c = raw[i];
        if (c == '\\') {
            if (++i >= size) {
                choppedAtEnd = false;
                break;
            }
            const char e = raw[i++];
            static constexpr std::pair<char, char16_t> kEscapes[] = {
                {'a', u'\a'}, {'b', u'\b'},  {'f', u'\f'},  {'n', u'\n'},
                {'r', u'\r'}, {'t', u'\t'},  {'v', u'\v'},  {'"', u'"'},
                {'?', u'?'},  {'\'', u'\''}, {'\\', u'\\'},
            };
            const auto simple = std::ranges::find(kEscapes, e, &std::pair<char, char16_t>::first);
            if (simple != std::end(kEscapes)) {
                text += QChar(simple->second);
            } else if (e == 'x' || octalDigit(e) >= 0) {
                const bool hex = e == 'x';
                if (hex && (i >= size || hexDigit(static_cast<uchar>(raw[i])) < 0)) {
                    if (i >= size) {
                        choppedAtEnd = false;
                        break;
                    }
                    chopLimit = text.size();
                    continue;  // "\x" without digits stands for nothing
                }
                // As many digits as follow, kept to 16 bits like a character code.
                char16_t code = hex ? 0 : static_cast<char16_t>(octalDigit(e));
                for (;;) {
                    const int d =
                        i < size ? (hex ? hexDigit(static_cast<uchar>(raw[i])) : octalDigit(raw[i]))
                                 : -1;
                    if (d < 0) {
                        break;
                    }
                    code = static_cast<char16_t>(code * (hex ? 16 : 8) + d);
                    ++i;
                }
                text += QChar(code);
                if (i >= size) {
                    choppedAtEnd = false;
                    break;
                }
            } else if (isLineBreak(e)) {
                // A continued line: the break and its partner vanish.
                if (i < size && isLineBreak(raw[i]) && raw[i] != e) {
                    ++i;
                }
            }  // any other escaped character stands for nothing
            chopLimit = text.size();
        } else if (c == '"') {
            ++i;
            isQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
            }
            chopLimit = text.size();
        } else if (c == ',' && !inQuotes) {
            if (!isQuoted) {
                chopTrailingBlanks(text, chopLimit);
            }
            isList = true;
            items.append(text);
            text.clear();
            isQuoted = false;
            ++i;
            skipBlanks();
            chopLimit = 0;
        } else {
            qsizetype j = i + 1;
            while (j < size && raw[j] != '\\' && raw[j] != '"' && raw[j] != ',') {
                ++j;
            }
            text += utf8(QByteArrayView(raw).sliced(i, j - i));
            i = j;
        }
    }
    if (choppedAtEnd && !isQuoted) {
        chopTrailingBlanks(text, chopLimit);
    }
    if (isList) {
        items.append(text);
    }
    return isList;
}

/// How many arguments `@Rect(1 2 3 4)` and its like carry.
qsizetype argumentCount(const QString& s, qsizetype open) {
    return std::count_if(s.begin() + open + 1, s.end(),
                         [](QChar c) { return c == u' ' || c == u')'; });
}

/// What QSettings makes of a single (not list) value's text.
IniDocument::Value valueOf(const QString& s) {
    if (s.startsWith(u'@')) {
        if (s.endsWith(u')')) {
            if (s.startsWith(QLatin1String("@ByteArray("))) {
                return QStringView(s).sliced(11).chopped(1).toLatin1();
            }
            if (s.startsWith(QLatin1String("@Variant(")) ||
                s.startsWith(QLatin1String("@DateTime(")) || s == QLatin1String("@Invalid()") ||
                (s.startsWith(QLatin1String("@Rect(")) && argumentCount(s, 5) == 4) ||
                (s.startsWith(QLatin1String("@Size(")) && argumentCount(s, 5) == 2) ||
                (s.startsWith(QLatin1String("@Point(")) && argumentCount(s, 6) == 2)) {
                return IniDocument::OtherValue{};
            }
        }
        if (s.startsWith(QLatin1String("@String(")) && s.endsWith(u')')) {
            return s.sliced(8).chopped(1);
        }
        if (s.startsWith(QLatin1String("@@"))) {
            return s.sliced(1);
        }
    }
    return s;
}

/// `s` as QSettings writes a value: backslash escapes for control characters, quotes and
/// backslashes; `\x` codes for characters that `asUtf8` does not allow (above 0x7e when it is
/// false: data, whose characters are bytes), and for surrogates without a partner, which UTF-8
/// cannot carry; quoted when it holds `;`, `,` or `=` or starts or ends with a space.
QByteArray escapedValue(const QString& s, bool asUtf8) {
    QByteArray out;
    bool needsQuotes = false;
    // After a numeric escape a hex digit would be read as part of it: it is escaped too.
    bool escapeHexDigit = false;
    const auto code = [&](char16_t u) {
        out += "\\x" + QByteArray::number(static_cast<uint>(u), 16);
        escapeHexDigit = true;
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u == u';' || u == u',' || u == u'=') {
            needsQuotes = true;
        }
        if (escapeHexDigit && hexDigit(u) >= 0) {
            code(u);
            continue;
        }
        escapeHexDigit = false;
        switch (u) {
            case u'\0':
                out += "\\0";
                escapeHexDigit = true;
                break;
            case u'\a':
                out += "\\a";
                break;
            case u'\b':
                out += "\\b";
                break;
            case u'\f':
                out += "\\f";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\t':
                out += "\\t";
                break;
            case u'\v':
                out += "\\v";
                break;
            case u'"':
            case u'\\':
                out += '\\';
                out += static_cast<char>(u);
                break;
            default:
                if (u <= 0x1f || (u >= 0x7f && !asUtf8)) {
                    code(u);
                } else if (!asUtf8 || u < 0x80) {
                    out += static_cast<char>(u);
                } else if (QChar::isHighSurrogate(u) && i + 1 < s.size() &&
                           s[i + 1].isLowSurrogate()) {
                    out += QStringView(s).sliced(i, 2).toUtf8();
                    ++i;
                } else if (QChar::isSurrogate(u)) {
                    code(u);
                } else {
                    out += QStringView(s).sliced(i, 1).toUtf8();
                }
        }
    }
    if (needsQuotes || (!out.isEmpty() && (out.front() == ' ' || out.back() == ' '))) {
        out = '"' + out + '"';
    }
    return out;
}

}  // namespace

IniDocument IniDocument::parse(const QByteArray& text) {
    IniDocument document;
    const auto add = [&document](Piece piece) {
        // Runs of anything else are merged: the document stays short.
        if (piece.kind == Piece::Kind::Other && !document.pieces_.empty() &&
            document.pieces_.back().kind == Piece::Kind::Other) {
            document.pieces_.back().raw += piece.raw;
        } else {
            document.pieces_.push_back(std::move(piece));
        }
    };
    const qsizetype size = text.size();
    qsizetype pos = text.startsWith("\xef\xbb\xbf") ? 3 : 0;  // a UTF-8 byte order mark
    document.byteOrderMark_ = text.first(pos);
    bool isTopLevel = true;  // until a section other than [General] starts
    while (pos < size) {
        const qsizetype start = pos;
        while (pos < size && isBlank(text[pos])) {
            ++pos;
        }
        if (pos == size) {
            add({Piece::Kind::Other, text.sliced(start), {}, 0});
            break;
        }
        if (text[pos] == ';') {
            // A comment, up to the line break.
            while (pos < size && !isLineBreak(text[pos])) {
                ++pos;
            }
            add({Piece::Kind::Other, text.sliced(start, pos - start), {}, 0});
            continue;
        }
        if (pos > start) {
            add({Piece::Kind::Other, text.sliced(start, pos - start), {}, 0});
        }
        qsizetype equals = -1;
        bool open = false;
        const qsizetype end = lineEnd(text, pos, &equals, &open);
        document.endsOpen_ = open;
        const QByteArray line = text.sliced(pos, end - pos);
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QByteArray name = line.sliced(1, (close < 0 ? line.size() : close) - 1).trimmed();
            isTopLevel = name.compare("general", Qt::CaseInsensitive) == 0;
            add({isTopLevel ? Piece::Kind::GeneralSection : Piece::Kind::Other, line, {}, 0});
        } else if (equals >= 0 && isTopLevel) {
            qsizetype keyEnd = equals - pos;
            while (keyEnd > 0 && (line[keyEnd - 1] == ' ' || line[keyEnd - 1] == '\t')) {
                --keyEnd;
            }
            add({Piece::Kind::TopLevelKey, line, unescapedKey(line.first(keyEnd)),
                 equals - pos + 1});
        } else {
            // A key of another section, or a line without `=` that no reader understands.
            add({Piece::Kind::Other, line, {}, 0});
        }
        pos = end;
    }
    return document;
}

QByteArray IniDocument::text() const {
    QByteArray text = byteOrderMark_;
    for (const Piece& piece : pieces_) {
        text += piece.raw;
    }
    return text;
}

std::vector<QString> IniDocument::keys() const {
    std::vector<QString> keys;
    for (const Piece& piece : pieces_) {
        if (piece.kind == Piece::Kind::TopLevelKey &&
            std::ranges::find(keys, piece.key) == keys.end()) {
            keys.push_back(piece.key);
        }
    }
    return keys;
}

const IniDocument::Piece* IniDocument::lastPieceFor(const QString& key) const {
    const auto found = std::find_if(pieces_.rbegin(), pieces_.rend(), [&key](const Piece& piece) {
        return piece.kind == Piece::Kind::TopLevelKey && piece.key == key;
    });
    return found == pieces_.rend() ? nullptr : &*found;
}

bool IniDocument::contains(const QString& key) const {
    return lastPieceFor(key) != nullptr;
}

std::optional<IniDocument::Value> IniDocument::value(const QString& key) const {
    const Piece* piece = lastPieceFor(key);
    if (piece == nullptr) {
        return std::nullopt;
    }
    QString text;
    QStringList items;
    if (unescapedValue(piece->raw.sliced(piece->valueStart), text, items)) {
        return OtherValue{};  // a list is neither text nor data
    }
    return valueOf(text);
}

void IniDocument::setText(const QString& key, const QString& value) {
    // Text with a null character is wrapped as `@String(...)`; text that starts with `@` would
    // read as a typed value, and a second `@` says it is text.
    if (value.contains(QChar::Null)) {
        setValue(key, escapedValue(QLatin1String("@String(") + value + u')', true));
    } else {
        setValue(key, escapedValue(value.startsWith(u'@') ? u'@' + value : value, true));
    }
}

void IniDocument::setData(const QString& key, const QByteArray& value) {
    setValue(key,
             escapedValue(QLatin1String("@ByteArray(") + QString::fromLatin1(value) + u')', false));
}

void IniDocument::setValue(const QString& key, const QByteArray& escapedValue) {
    bool found = false;
    for (Piece& piece : pieces_) {
        if (piece.kind == Piece::Kind::TopLevelKey && piece.key == key) {
            // The new value ends the line properly, wherever the old one ran to.
            endsOpen_ = endsOpen_ && &piece != &pieces_.back();
            piece.raw = piece.raw.first(piece.valueStart) + escapedValue;
            found = true;
        }
    }
    if (found) {
        return;
    }
    // A new key goes after the last top-level key or [General] line, on a line of its own.
    const auto last = std::find_if(pieces_.rbegin(), pieces_.rend(), [](const Piece& piece) {
        return piece.kind != Piece::Kind::Other;
    });
    auto at = last.base();  // just after it
    if (endsOpen_ && (last == pieces_.rend() || at == pieces_.end())) {
        // The text ends inside quotes or after a backslash: anything after would join that
        // line. Above the first section a key is top-level too, and the start is never open.
        at = pieces_.begin() + 2 * keysAtStart_++;
        at = pieces_.insert(at, {Piece::Kind::Other, "\n", {}, 0});
        pieces_.insert(at, {Piece::Kind::TopLevelKey, escapedKey(key) + '=' + escapedValue, key,
                            escapedKey(key).size() + 1});
        return;
    }
    if (last == pieces_.rend()) {
        // No top-level part yet: a [General] section at the end.
        const QByteArray before = text();
        QByteArray separator;
        if (!before.isEmpty()) {
            separator = isLineBreak(before.back()) ? "\n" : "\n\n";
        }
        if (!separator.isEmpty()) {
            pieces_.push_back({Piece::Kind::Other, separator, {}, 0});
        }
        pieces_.push_back({Piece::Kind::GeneralSection, "[General]", {}, 0});
        pieces_.push_back({Piece::Kind::Other, "\n", {}, 0});
        at = pieces_.end() - 1;
    }
    const QByteArray prefix = "\n" + escapedKey(key) + '=';
    at = pieces_.insert(at, {Piece::Kind::Other, "\n", {}, 0});
    pieces_.insert(at + 1, {Piece::Kind::TopLevelKey, prefix.sliced(1) + escapedValue, key,
                            prefix.size() - 1});
}

}  // namespace glimmora
