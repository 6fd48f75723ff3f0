#include "inifile.h"

#include <QStringDecoder>

#include <algorithm>
#include <climits>

namespace {

const QByteArrayView utf8Bom("\xEF\xBB\xBF");

// The same set QByteArray::trimmed() drops, so a name found by scanning and a name trimmed
// agree on where they start.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool hasLineBreak(QByteArrayView text)
{
    return text.contains('\n') || text.contains('\r');
}

class Utf8Codec final : public IniCodec
{
public:
    // QString::fromUtf8 drops a byte-order mark at the start of what it decodes; inside a line
    // it is a character like any other, or a key starting with one could never be read back.
    QString decode(QByteArrayView bytes) const override
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return decoder(bytes);
    }
    std::optional<QByteArray> encode(QStringView text) const override
    {
        QStringEncoder encoder(QStringEncoder::Utf8);
        QByteArray bytes = encoder(text);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    }
};

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

} // namespace

const IniCodec &IniCodec::utf8()
{
    static const Utf8Codec codec;
    return codec;
}

IniDocument::IniDocument(QByteArrayView bytes, const IniCodec &codec) : m_codec(&codec)
{
    if (bytes.startsWith(utf8Bom)) {
        m_bom = true;
        bytes = bytes.sliced(utf8Bom.size());
    }
    bool eolSeen = false;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            m_lines.push_back(parseLine(bytes.sliced(start).toByteArray(), {}));
            break;
        }
        qsizetype end = lf;
        if (end > start && bytes[end - 1] == '\r')
            --end;
        QByteArray eol = bytes.sliced(end, lf + 1 - end).toByteArray();
        if (!eolSeen) {
            m_eol = eol;
            eolSeen = true;
        }
        m_lines.push_back(parseLine(bytes.sliced(start, end - start).toByteArray(), eol));
        start = lf + 1;
    }
}

IniDocument::Line IniDocument::parseLine(QByteArray text, QByteArray eol) const
{
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const QByteArrayView t(line.text);
    qsizetype first = 0;
    while (first < t.size() && isSpace(t[first]))
        ++first;
    if (first == t.size() || t[first] == ';' || t[first] == '#')
        return line;
    if (t[first] == '[') {
        const qsizetype close = t.indexOf(']', first + 1);
        if (close >= 0) {
            line.kind = Kind::Section;
            line.name = m_codec->decode(t.sliced(first + 1, close - first - 1).trimmed());
        }
        return line;
    }
    const qsizetype eq = t.indexOf('=', first);
    if (eq < 0)
        return line;
    const QByteArrayView name = t.first(eq).trimmed();
    if (name.isEmpty())
        return line;
    line.kind = Kind::Key;
    line.name = m_codec->decode(name);
    const QByteArrayView rest = t.sliced(eq + 1);
    const QByteArrayView value = rest.trimmed();
    if (value.isEmpty()) {
        // Nothing but blanks after '=': a new value replaces them, giving "key=value".
        line.valueFrom = eq + 1;
        line.valueLength = rest.size();
    } else {
        line.valueFrom = value.data() - t.data();
        line.valueLength = value.size();
    }
    return line;
}

QByteArray IniDocument::toBytes() const
{
    QByteArray out;
    if (m_bom)
        out.append(utf8Bom);
    for (const Line &line : m_lines) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

QString IniDocument::normalisedName(QStringView name) const
{
    const std::optional<QByteArray> bytes = m_codec->encode(name);
    return bytes ? m_codec->decode(bytes->trimmed()) : QString();
}

qsizetype IniDocument::findSection(const QString &section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && sameName(m_lines[i].name, section))
            return qsizetype(i);
    }
    return -1;
}

qsizetype IniDocument::findKey(qsizetype sectionLine, const QString &key) const
{
    for (size_t i = size_t(sectionLine) + 1; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section)
            break;
        if (m_lines[i].kind == Kind::Key && sameName(m_lines[i].name, key))
            return qsizetype(i);
    }
    return -1;
}

std::optional<QString> IniDocument::value(QStringView section, QStringView key) const
{
    const QString sectionName = normalisedName(section);
    const QString keyName = normalisedName(key);
    if (sectionName.isEmpty() || keyName.isEmpty())
        return std::nullopt;
    const qsizetype s = findSection(sectionName);
    if (s < 0)
        return std::nullopt;
    const qsizetype k = findKey(s, keyName);
    if (k < 0)
        return std::nullopt;
    const Line &line = m_lines[size_t(k)];
    return m_codec->decode(
        QByteArrayView(line.text).sliced(line.valueFrom, line.valueLength).trimmed());
}

void IniDocument::insertLine(qsizetype at, const QByteArray &text)
{
    // Only the last line can lack an ending, and it needs one before anything follows it.
    if (at > 0 && m_lines[size_t(at) - 1].eol.isEmpty())
        m_lines[size_t(at) - 1].eol = m_eol;
    m_lines.insert(m_lines.begin() + at, parseLine(text, m_eol));
}

bool IniDocument::setValue(QStringView section, QStringView key, QStringView value)
{
    const std::optional<QByteArray> sectionBytes = m_codec->encode(section);
    const std::optional<QByteArray> keyBytes = m_codec->encode(key);
    const std::optional<QByteArray> valueBytes = m_codec->encode(value);
    if (!sectionBytes || !keyBytes || !valueBytes)
        return false;
    const QByteArray section8 = sectionBytes->trimmed();
    const QByteArray key8 = keyBytes->trimmed();
    const QByteArray value8 = valueBytes->trimmed();
    if (section8.isEmpty() || section8.contains(']') || hasLineBreak(section8))
        return false;
    if (key8.isEmpty() || key8.contains('=') || hasLineBreak(key8) || key8.startsWith('[') ||
        key8.startsWith(';') || key8.startsWith('#'))
        return false;
    if (hasLineBreak(value8))
        return false;

    const QString sectionName = m_codec->decode(section8);
    const QString keyName = m_codec->decode(key8);
    const qsizetype s = findSection(sectionName);
    if (s < 0) {
        insertLine(qsizetype(m_lines.size()), '[' + section8 + ']');
        insertLine(qsizetype(m_lines.size()), key8 + '=' + value8);
    } else if (const qsizetype k = findKey(s, keyName); k >= 0) {
        Line &line = m_lines[size_t(k)];
        const QByteArrayView current(line.text.constData() + line.valueFrom, line.valueLength);
        if (current.trimmed() == value8)
            return true; // not even the blanks around it change
        QByteArray text = line.text.left(line.valueFrom) + value8 +
                          line.text.mid(line.valueFrom + line.valueLength);
        line = parseLine(std::move(text), line.eol);
    } else {
        // After the section's last key, so comments and blank lines that lead into the next
        // section stay with it.
        qsizetype at = s + 1;
        for (size_t i = size_t(s) + 1; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == Kind::Section)
                break;
            if (m_lines[i].kind == Kind::Key)
                at = qsizetype(i) + 1;
        }
        insertLine(at, key8 + '=' + value8);
    }
    // Giving a last line its ending can turn a stray CR before it into a CRLF; reading the
    // result again keeps the document the same as a fresh read of the file.
    *this = IniDocument(toBytes(), *m_codec);
    return true;
}

QList<IniDocument::KeyName> IniDocument::keys() const
{
    QList<KeyName> result;
    const QString *section = nullptr;
    for (const Line &line : m_lines) {
        if (line.kind == Kind::Section)
            section = &line.name;
        else if (line.kind == Kind::Key && section)
            result.append({*section, line.name});
    }
    return result;
}

int profileInt(QStringView text)
{
    // Only decimal is read: nothing writes another base, so "0x10" gives its leading 0 rather
    // than a guess. Out-of-range numbers clamp to the int range instead of wrapping, so garbage
    // such as "4294967297" cannot wrap round to 1 and read as "on".
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() < 128 && isSpace(char(text[i].unicode())))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const qint64 limit = negative ? -qint64(INT_MIN) : qint64(INT_MAX);
    qint64 magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        magnitude = std::min(magnitude * 10 + (text[i].unicode() - u'0'), limit);
    return int(negative ? -magnitude : magnitude);
}
