#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

// How config.ini's text is stored as bytes: UTF-8, or on Windows the system's ANSI code page.
class IniCodec
{
public:
    virtual ~IniCodec() = default;
    virtual QString decode(QByteArrayView bytes) const = 0;
    // nullopt when the encoding cannot hold every character of the text.
    virtual std::optional<QByteArray> encode(QStringView text) const = 0;

    static const IniCodec &utf8();
};

// An INI file held as its own bytes, read and edited the way the Windows profile functions do.
//
// Layout: "[section]" lines open a section, "key=value" lines follow. Names match without
// regard to case; whitespace around names and values does not count. Lines are split on LF; a
// CR before the LF belongs to the line ending, so LF and CRLF files read the same. A leading
// UTF-8 BOM is skipped. Text is in the codec's encoding, UTF-8 unless told otherwise.
//
// - A line starting with ';' or '#' is a comment. A '[' line without ']' is no header; text
//   after the ']' of a header is ignored. A value keeps any ';', '#', '=' or quotes it holds.
// - Keys before the first header belong to no section and are never read or written.
// - With duplicates, only the first section of a name counts, and its first key of a name,
//   for reading and for writing.
//
// Every byte the document does not change is kept: toBytes() of an untouched document is its
// input, and setValue() changes the one line of its key, or adds a key or section line.
class IniDocument
{
public:
    struct KeyName
    {
        QString section;
        QString key;
    };

    explicit IniDocument(QByteArrayView bytes = {}, const IniCodec &codec = IniCodec::utf8());

    QByteArray toBytes() const;

    // The value of the key, or nothing when the section or key is missing.
    std::optional<QString> value(QStringView section, QStringView key) const;

    // Changes the key's value in place (the same value leaves the line as it is), or adds the
    // key after its section's last key, or adds the section at the end of the document, using
    // the document's line ending. The value is stored without surrounding whitespace. Returns
    // false, changing nothing, for text that the layout cannot hold: empty names, line breaks
    // anywhere, ']' in a section name, '=' in a key name or a key name starting like a header
    // or comment, or text the codec cannot encode.
    bool setValue(QStringView section, QStringView key, QStringView value);

    // Every key line that lies in a section, in file order, duplicates included.
    QList<KeyName> keys() const;

private:
    enum class Kind { Other, Section, Key };

    struct Line
    {
        QByteArray text; // without its line ending
        QByteArray eol;  // "\n", "\r\n", or empty for a last line without one
        Kind kind = Kind::Other;
        QString name;            // section or key name, trimmed
        qsizetype valueFrom = 0; // the part of text that setValue() replaces
        qsizetype valueLength = 0;
    };

    Line parseLine(QByteArray text, QByteArray eol) const;
    // A name as it would read back from the file; empty when it cannot be stored.
    QString normalisedName(QStringView name) const;
    // Index of the header of the first section of that name, or -1.
    qsizetype findSection(const QString &section) const;
    // Index of the first key of that name in the section opened at sectionLine, or -1.
    qsizetype findKey(qsizetype sectionLine, const QString &key) const;
    void insertLine(qsizetype at, const QByteArray &text);

    const IniCodec *m_codec;
    std::vector<Line> m_lines;
    QByteArray m_eol = QByteArrayLiteral("\n"); // ending for added lines: the file's first one
    bool m_bom = false;
};

// The integer a profile value reads as: optional whitespace and sign, then the leading decimal
// digits; text without them gives 0. See the definition for odd input.
int profileInt(QStringView text);
