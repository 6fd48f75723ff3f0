// Checks properties of IniDocument on arbitrary bytes: an untouched document gives its bytes
// back; a write reads back, changes no other key, keeps every other line in order and is
// repeatable; a refused write changes nothing.

#include "settings/inifile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArrayList>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// As the document decodes text: a byte-order mark is only special at the start of the file.
QString decoded(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

QString normalised(const QString &name)
{
    return decoded(name.toUtf8().trimmed());
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(normalised(a), normalised(b), Qt::CaseInsensitive) == 0;
}

// Lines without their endings and without a BOM. Trailing CRs are dropped too: a stray CR at
// the end of the file becomes part of the CRLF when a line is added after it.
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

// The new lines are the old ones with one changed in place, or with the added ones inserted
// together at one place.
bool onlyTheKeyChanged(const QByteArrayList &before, const QByteArrayList &after, bool inPlace)
{
    if (inPlace) {
        if (after.size() != before.size())
            return false;
        int changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i)
            changed += before[i] != after[i];
        return changed <= 1;
    }
    const qsizetype added = after.size() - before.size();
    if (added != 1 && added != 2)
        return false;
    qsizetype same = 0;
    while (same < before.size() && before[same] == after[same])
        ++same;
    return after.mid(same + added) == before.mid(same);
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

    // Half the time the write aims at a key the file has, so that changing in place is tried
    // as often as adding.
    const QList<IniDocument::KeyName> keys = document.keys();
    if (!keys.isEmpty() && (pick & 1u)) {
        const IniDocument::KeyName &existing = keys[qsizetype((pick >> 1) % keys.size())];
        section = existing.section;
        key = existing.key;
    }
    const qsizetype watched = std::min<qsizetype>(keys.size(), 64);
    QList<std::optional<QString>> valuesBefore;
    for (qsizetype i = 0; i < watched; ++i)
        valuesBefore.append(document.value(keys[i].section, keys[i].key));
    const bool existed = document.value(section, key).has_value();

    IniDocument edited = document;
    if (!edited.setValue(section, key, value)) {
        check(edited.toBytes() == bytes, "a refused write changes nothing");
        return 0;
    }
    const QString expected = normalised(value);
    const QByteArray written = edited.toBytes();
    const IniDocument reread(written);
    check(edited.value(section, key) == expected, "the value reads back");
    check(reread.value(section, key) == expected, "the value reads back from the bytes");
    check(reread.toBytes() == written, "the written bytes read back whole");
    check(written.startsWith("\xEF\xBB\xBF") == bytes.startsWith("\xEF\xBB\xBF"),
          "the BOM stays as it was");

    for (qsizetype i = 0; i < watched; ++i) {
        if (sameName(keys[i].section, section) && sameName(keys[i].key, key))
            continue;
        check(reread.value(keys[i].section, keys[i].key) == valuesBefore[i],
              "other keys keep their values");
    }

    check(onlyTheKeyChanged(linesOf(bytes), linesOf(written), existed),
          "every other line is kept, in order");

    IniDocument again = reread;
    check(again.setValue(section, key, value) && again.toBytes() == written,
          "writing the same value again changes nothing");
    return 0;
}
