// config.ini text in memory: how a write finds and changes its key, and profile integers.

#include "settings/inifile.h"

#include <QTest>

#include <climits>

// Writing value to [section] key turns before into after; a null after: refused, no change.
struct Write
{
    QByteArray before, after;
    QString section = "a", key = "k", value = "v";
};
Q_DECLARE_METATYPE(Write)

class TestIniDocument : public QObject
{
    Q_OBJECT

    static void row(const char *name, const Write &write) { QTest::newRow(name) << write; }

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<Write>("write");

        row("first of duplicate sections and keys, any case",
            {"[Été]\nÂge=1\nâge=2\n[éTÉ]\nÂge=3\n", "[Été]\nÂge=v\nâge=2\n[éTÉ]\nÂge=3\n", "ÉTÉ",
             "ÂGE"});
        row("blanks around names and value, in the file and asked",
            {"  [ a ]  \n\t k \t=\t 1 \t\n", "  [ a ]  \n\t k \t=\t v \t\n", " a", "k\t", " v\t"});
        row("blanks after '=' give way, the value keeps '=', ';', '#' and quotes",
            {"[a]\nk=  \n", "[a]\nk=x=y ; #z \"q\"\n", "a", "k", "x=y ; #z \"q\""});
        row("BOM character after the start is text",
            {"[a]\n\xEF\xBB\xBFk=1\n", "[a]\n\xEF\xBB\xBFk=\xEF\xBB\xBFx\n", "a",
             QStringLiteral("\uFEFFk"), QStringLiteral("\uFEFFx")});
        row("new key after the section's last key; comments and '[' without ']' are no keys",
            {"[a] ; note\n[b\nx=1\n; b = 1\n# b = 2\n\n[b]\nk=1\n",
             "[a] ; note\n[b\nx=1\nk=v\n; b = 1\n# b = 2\n\n[b]\nk=1\n"});
        row("BOM kept, new section after a line without ending, in the first line's ending",
            {"\xEF\xBB\xBF[a]\r\nx=1\nj=2", "\xEF\xBB\xBF[a]\r\nx=1\nj=2\r\n[b]\r\nk=v\r\n", "b"});

        const QByteArray ak("[a]\nk=1\n");
        row("blank section", {ak, {}, " \t"});
        row("']' in section", {ak, {}, "a]b"});
        row("line break in section", {ak, {}, "a\nb"});
        row("blank key", {ak, {}, "a", " "});
        row("CR in key", {ak, {}, "a", "k\rx"});
        row("'=' in key", {ak, {}, "a", "k=x"});
        row("key like a header", {ak, {}, "a", "[k"});
        row("key like a ';' comment", {ak, {}, "a", ";k"});
        row("key like a '#' comment", {ak, {}, "a", "#k"});
        row("line break in value", {ak, {}, "a", "k", "1\n[evil]"});
    }
    void write()
    {
        QFETCH(Write, write);
        IniDocument document(write.before);
        QCOMPARE(document.setValue(write.section, write.key, write.value), !write.after.isNull());
        QCOMPARE(document.toBytes(), write.after.isNull() ? write.before : write.after);
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
