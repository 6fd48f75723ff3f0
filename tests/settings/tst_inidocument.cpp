// config.ini text in memory: how a write finds and changes its key, and profile integers.

#include "settings/inifile.h"

#include <QTest>

#include <climits>

class TestIniDocument : public QObject
{
    Q_OBJECT

    // Writing value to [section] key turns before into after; a null after: refused, no change.
    static void row(const char *name, const QByteArray &before, const QByteArray &after,
                    QStringView section = u"a", QStringView key = u"k", QStringView value = u"v")
    {
        QTest::newRow(name) << before << section.toString() << key.toString() << value.toString()
                            << after;
    }

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        row("first of duplicate sections and keys, any case", "[Été]\nÂge=1\nâge=2\n[éTÉ]\nÂge=3\n",
            "[Été]\nÂge=v\nâge=2\n[éTÉ]\nÂge=3\n", u"ÉTÉ", u"ÂGE");
        row("blanks around names and value, in the file and asked", "  [ a ]  \n\t k \t=\t 1 \t\n",
            "  [ a ]  \n\t k \t=\t v \t\n", u" a", u"k\t", u" v\t");
        row("blanks after '=' give way, the value keeps '=', ';', '#' and quotes", "[a]\nk=  \n",
            "[a]\nk=x=y ; #z \"q\"\n", u"a", u"k", u"x=y ; #z \"q\"");
        row("BOM character after the start is text", "[a]\n\xEF\xBB\xBFk=1\n",
            "[a]\n\xEF\xBB\xBFk=\xEF\xBB\xBFx\n", u"a", u"\uFEFFk", u"\uFEFFx");
        row("new key after the section's last key; comments and '[' without ']' are no keys",
            "[a] ; note\n[b\nx=1\n; b = 1\n# b = 2\n\n[b]\nk=1\n",
            "[a] ; note\n[b\nx=1\nk=v\n; b = 1\n# b = 2\n\n[b]\nk=1\n");
        row("BOM kept, new section after a line without ending, in the first line's ending",
            "\xEF\xBB\xBF[a]\r\nx=1\nj=2", "\xEF\xBB\xBF[a]\r\nx=1\nj=2\r\n[b]\r\nk=v\r\n", u"b");

        const QByteArray ak("[a]\nk=1\n");
        row("blank section", ak, {}, u" \t");
        row("']' in section", ak, {}, u"a]b");
        row("line break in section", ak, {}, u"a\nb");
        row("blank key", ak, {}, u"a", u" ");
        row("CR in key", ak, {}, u"a", u"k\rx");
        row("'=' in key", ak, {}, u"a", u"k=x");
        row("key like a header", ak, {}, u"a", u"[k");
        row("key like a ';' comment", ak, {}, u"a", u";k");
        row("key like a '#' comment", ak, {}, u"a", u"#k");
        row("line break in value", ak, {}, u"a", u"k", u"1\n[evil]");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);

        IniDocument document(before);
        QCOMPARE(document.setValue(section, key, value), !after.isNull());
        QCOMPARE(document.toBytes(), after.isNull() ? before : after);
        if (!after.isNull())
            QCOMPARE(document.value(section, key), std::optional<QString>(value.trimmed()));
    }

    void profileInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("blanks, plus sign, digits then text") << QStringLiteral(" \t+12abc") << 12;
        QTest::newRow("hex reads its leading 0") << QStringLiteral("0x10") << 0;
        QTest::newRow("full-width digit") << QStringLiteral("１") << 0;
        QTest::newRow("2^32 + 1 clamps, not wraps to 1") << QStringLiteral("4294967297") << INT_MAX;
        QTest::newRow("far below clamps") << QStringLiteral("-99999999999999999999") << INT_MIN;
    }
    void profileInt()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(::profileInt(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
