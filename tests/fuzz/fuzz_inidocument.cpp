// IniDocument on arbitrary bytes: untouched, it gives its bytes back; a write reads back, changes
// its key's line or adds lines, and is repeatable; a refused write changes nothing.

#include "settings/inifile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QStringDecoder>

static void check(bool condition, const char *what)
{
    if (!condition)
        qFatal("property broken: %s", what);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    const unsigned pick = provider.ConsumeIntegral<uint16_t>();
    QString section = QString::fromStdString(provider.ConsumeRandomLengthString(24));
    QString key = QString::fromStdString(provider.ConsumeRandomLengthString(24));
    const QString value = QString::fromStdString(provider.ConsumeRandomLengthString(64));
    const QByteArray bytes = QByteArray::fromStdString(provider.ConsumeRemainingBytesAsString());

    IniDocument document(bytes);
    check(document.toBytes() == bytes, "an untouched document gives back its bytes");
    // Half the time the write aims at a key the file has, so that changing in place is tried too.
    if (const QList<IniDocument::KeyName> keys = document.keys(); !keys.isEmpty() && (pick & 1u)) {
        section = keys[qsizetype((pick >> 1) % keys.size())].section;
        key = keys[qsizetype((pick >> 1) % keys.size())].key;
    }
    const bool existed = document.value(section, key).has_value();
    if (!document.setValue(section, key, value)) {
        check(document.toBytes() == bytes, "a refused write changes nothing");
        return 0;
    }
    const QByteArray written = document.toBytes();
    IniDocument reread(written);
    // Stored without ASCII blanks around it; a U+FEFF at its start is a character like any other.
    const QString stored = QStringDecoder(
        QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(value.toUtf8().trimmed());
    check(document.value(section, key) == stored && reread.value(section, key) == stored,
          "the value reads back");

    const qsizetype added = written.count('\n') - bytes.count('\n');
    check(existed ? added == 0 : added >= 1 && added <= 3,
          "a change keeps the line ends; an addition adds one to three");

    check(reread.setValue(section, key, value) && reread.toBytes() == written,
          "writing the same value again changes nothing");
    return 0;
}
