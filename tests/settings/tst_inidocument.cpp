// config.ini text in memory: how a write finds and changes its key, and profile integers.

#include "settings/inifile.h"

#include <QTest>

#include <climits>

namespace {

const QByteArray bom = QByteArrayLiteral("\xEF\xBB\xBF");

QString str(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestIniDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after"); // null: refused, nothing changes

        const QString a = str("a");
        const QString k = str("k");
        const QString v = str("v");
        QTest::newRow("into nothing, UTF-8, value trimmed")
            << QByteArray() << str("Tips") << str("ifTips") << str(" /用户/提示.wav\t")
            << QByteArray("[Tips]\nifTips=/用户/提示.wav\n");
        QTest::newRow("names in another case, beyond ASCII, kept")
            << QByteArray("[Été]\nÂge=x\n") << str("éTÉ") << str("âGE") << v
            << QByteArray("[Été]\nÂge=v\n");
        QTest::newRow("blanks around names and value, in the file and asked")
            << QByteArray("  [ a ]  \n\t k \t=\t 1 \t\n") << str(" a") << str("k\t") << v
            << QByteArray("  [ a ]  \n\t k \t=\t v \t\n");
        QTest::newRow("blanks after '=' give way")
            << QByteArray("[a]\nk=  \n") << a << k << v << QByteArray("[a]\nk=v\n");
        QTest::newRow("value keeps '=', ';', '#' and quotes")
            << QByteArray("[a]\nk=1\n") << a << k << str("x=y ; #z \"q\"")
            << QByteArray("[a]\nk=x=y ; #z \"q\"\n");
        QTest::newRow("BOM character after the start is text")
            << QByteArray("[a]\n") + bom + "k=1\n"
            << a << QStringLiteral("\uFEFFk") << QStringLiteral("\uFEFFx") // str() drops a BOM
            << QByteArray("[a]\n") + bom + "k=" + bom + "x\n";
        QTest::newRow("'[' line without ']' opens nothing, text after ']' is ignored")
            << QByteArray("[a] ; note\n[b\nk=1\n") << a << k << v
            << QByteArray("[a] ; note\n[b\nk=v\n");
        QTest::newRow("new key after the section's last key, not in the next section")
            << QByteArray("[a]\nx=1\n; b = next\n\n[b]\nk=1\n") << a << k << v
            << QByteArray("[a]\nx=1\nk=v\n; b = next\n\n[b]\nk=1\n");
        QTest::newRow("new section after a line without ending, in the first line's ending")
            << QByteArray("[a]\r\nx=1\nj=2") << str("b") << k << v
            << QByteArray("[a]\r\nx=1\nj=2\r\n[b]\r\nk=v\r\n");
        QTest::newRow("BOM kept") << bom + "[a]\nk=1\n" << a << k << v << bom + "[a]\nk=v\n";
        QTest::newRow("first of duplicate keys")
            << QByteArray("[a]\nk=1\nK=2\n") << a << k << v << QByteArray("[a]\nk=v\nK=2\n");
        QTest::newRow("first of duplicate sections gets the new key")
            << QByteArray("[a]\nx=1\n[A]\nk=1\n") << a << k << v
            << QByteArray("[a]\nx=1\nk=v\n[A]\nk=1\n");
        QTest::newRow("same value keeps the blanks")
            << QByteArray("[a]\r\n k = v \r\n") << a << k << v << QByteArray("[a]\r\n k = v \r\n");
        QTest::newRow("NUL, invalid UTF-8 and stray CRs kept")
            << QByteArrayLiteral("\r\0\xff\r\r\n[a]\n\xc3[\0]\nk=1\n\rx") << a << k << v
            << QByteArrayLiteral("\r\0\xff\r\r\n[a]\n\xc3[\0]\nk=v\n\rx");

        const QByteArray ak("[a]\nk=1\n");
        const QByteArray refused;
        QTest::newRow("blank section") << ak << str(" \t") << k << v << refused;
        QTest::newRow("blank key") << ak << a << str(" ") << v << refused;
        QTest::newRow("']' in section") << ak << str("a]b") << k << v << refused;
        QTest::newRow("line break in section") << ak << str("a\nb") << k << v << refused;
        QTest::newRow("CR in key") << ak << a << str("k\rx") << v << refused;
        QTest::newRow("'=' in key") << ak << a << str("k=x") << v << refused;
        QTest::newRow("key like a header") << ak << a << str("[k") << v << refused;
        QTest::newRow("key like a ';' comment") << ak << a << str(";k") << v << refused;
        QTest::newRow("key like a '#' comment") << ak << a << str("#k") << v << refused;
        QTest::newRow("line break in value") << ak << a << k << str("1\n[evil]") << refused;
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);

        IniDocument document(before);
        QCOMPARE(document.toBytes(), before);
        QCOMPARE(document.setValue(section, key, value), !after.isNull());
        QCOMPARE(document.toBytes(), after.isNull() ? before : after);
        if (!after.isNull())
            QCOMPARE(document.value(section, key), std::optional<QString>(value.trimmed()));
    }

    void profileInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("blanks and plus sign") << str(" \t+5 ") << 5;
        QTest::newRow("minus sign") << str("-3") << -3;
        QTest::newRow("digits then text") << str("12abc") << 12;
        QTest::newRow("hex reads its leading 0") << str("0x10") << 0;
        QTest::newRow("blank after the sign") << str("- 5") << 0;
        QTest::newRow("two signs") << str("--1") << 0;
        QTest::newRow("full-width digit") << str("１") << 0;
        QTest::newRow("2^32 + 1 clamps instead of wrapping to 1") << str("4294967297") << INT_MAX;
        QTest::newRow("far below the smallest clamps") << str("-99999999999999999999") << INT_MIN;
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
