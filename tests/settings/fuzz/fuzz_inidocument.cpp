// IniDocument on arbitrary bytes: untouched, it gives its bytes back; a write reads back, keeps
// every other key and line, and is repeatable; a refused write changes nothing.

#include "settings/inifile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QStringDecoder>

namespace {

void check(bool condition, const char *what)
{
    if (!condition)
        qFatal("property broken: %s", what);
}

// A name as the document holds it: ASCII blanks trimmed, a leading U+FEFF kept.
QString normalised(const QString &name)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return utf8(name.toUtf8().trimmed());
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(normalised(a), normalised(b), Qt::CaseInsensitive) == 0;
}

// Lines without endings or BOM. Trailing CRs go too: a stray CR at the end of the file becomes
// part of a CRLF when a line is added after it.
QByteArrayList linesOf(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QByteArrayList lines = bytes.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        while (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The new lines are the old ones with at most one changed in place, or with one or two added
// together at one place.
bool onlyTheKeyChanged(const QByteArrayList &before, const QByteArrayList &after, bool inPlace)
{
    const qsizetype added = after.size() - before.size();
    if (inPlace ? added != 0 : added != 1 && added != 2)
        return false;
    qsizetype same = 0;
    while (same < before.size() && before[same] == after[same])
        ++same;
    return after.mid(same + (inPlace ? 1 : added)) == before.mid(same + (inPlace ? 1 : 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const unsigned pick = provider.ConsumeIntegral<uint16_t>();
    QString section = QString::fromStdString(provider.ConsumeRandomLengthString(24));
    QString key = QString::fromStdString(provider.ConsumeRandomLengthString(24));
    const QString value = QString::fromStdString(provider.ConsumeRandomLengthString(64));
    const std::string rest = provider.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), qsizetype(rest.size()));

    const IniDocument document(bytes);
    check(document.toBytes() == bytes, "an untouched document gives back its bytes");

    // Half the time the write aims at a key the file has, so that changing in place is tried too.
    const QList<IniDocument::KeyName> keys = document.keys();
    if (!keys.isEmpty() && (pick & 1u)) {
        section = keys[qsizetype((pick >> 1) % keys.size())].section;
        key = keys[qsizetype((pick >> 1) % keys.size())].key;
    }
    const qsizetype watched = qMin(keys.size(), 64);
    QList<std::optional<QString>> valuesBefore;
    for (qsizetype i = 0; i < watched; ++i)
        valuesBefore.append(document.value(keys[i].section, keys[i].key));
    const bool existed = document.value(section, key).has_value();

    IniDocument edited = document;
    if (!edited.setValue(section, key, value)) {
        check(edited.toBytes() == bytes, "a refused write changes nothing");
        return 0;
    }
    const QByteArray written = edited.toBytes();
    const IniDocument reread(written);
    check(edited.value(section, key) == normalised(value) &&
              reread.value(section, key) == normalised(value),
          "the value reads back");
    check(written.startsWith("\xEF\xBB\xBF") == bytes.startsWith("\xEF\xBB\xBF"),
          "the BOM stays as it was");
    for (qsizetype i = 0; i < watched; ++i) {
        const bool same = sameName(keys[i].section, section) && sameName(keys[i].key, key);
        check(same || reread.value(keys[i].section, keys[i].key) == valuesBefore[i],
              "other keys keep their values");
    }
    check(onlyTheKeyChanged(linesOf(bytes), linesOf(written), existed),
          "every other line is kept, in order");

    IniDocument again = reread;
    check(again.setValue(section, key, value) && again.toBytes() == written,
          "writing the same value again changes nothing");
    return 0;
}
