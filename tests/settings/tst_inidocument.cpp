// How config.ini text reads and how a write changes it, on bytes in memory.

#include "settings/inifile.h"

#include <QTest>

namespace {

const QByteArray bom = QByteArrayLiteral("\xEF\xBB\xBF");

// A literal with its NUL bytes.
template<qsizetype N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// As the Windows program leaves it: CRLF, no blank lines, the three keys it knows.
const QByteArray windowsFile = QByteArrayLiteral("[sound]\r\nifsound=1\r\n"
                                                 "[Tips]\r\nifTips=0\r\n"
                                                 "[soundpath]\r\nspath=C:\\Users\\a\\ding.wav\r\n");

const QByteArray handEditedFile = QByteArrayLiteral("; Quorvel settings, kept by hand\n"
                                                    "# sound on since March\n"
                                                    "\n"
                                                    "[Sound]\n"
                                                    "  IfSound = 1   \n"
                                                    "\n"
                                                    "[other]\n"
                                                    "name=value with  spaces\n"
                                                    "a line nobody understands\n"
                                                    "\t[broken header\n"
                                                    "\n"
                                                    "[soundpath]\n"
                                                    "spath = /home/a/My Sounds/ding.wav\n"
                                                    "; end\n");

} // namespace

class TestIniDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsValues_data();
    void readsValues();
    void writeChangesOnlyItsKey_data();
    void writeChangesOnlyItsKey();
    void refusesTextTheLayoutCannotHold_data();
    void refusesTextTheLayoutCannotHold();
    void untouchedDocumentGivesBackItsBytes_data();
    void untouchedDocumentGivesBackItsBytes();
    void listsKeysOfSectionsInFileOrder();
};

void TestIniDocument::readsValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expected");

    const QString a = QStringLiteral("a");
    const QString k = QStringLiteral("k");
    const QString sound = QStringLiteral("sound");
    const QString ifsound = QStringLiteral("ifsound");
    const QString one = QStringLiteral("1");

    QTest::newRow("plain") << QByteArray("[sound]\nifsound=1\n") << sound << ifsound << true << one;
    QTest::newRow("section in another case")
        << QByteArray("[SOUND]\nifsound=1\n") << sound << ifsound << true << one;
    QTest::newRow("key in another case")
        << QByteArray("[sound]\nIfSound=1\n") << sound << ifsound << true << one;
    QTest::newRow("non-ASCII names in another case")
        << QByteArray("[Été]\nÂge=x\n") << QStringLiteral("éTÉ") << QStringLiteral("âGE") << true
        << QStringLiteral("x");
    QTest::newRow("names asked for with blanks")
        << QByteArray("[sound]\nifsound=1\n") << QStringLiteral(" sound ")
        << QStringLiteral("\tifsound ") << true << one;
    QTest::newRow("blanks around names and value")
        << QByteArray("  [ sound ]  \n\t ifsound \t=\t 1 \t\n") << sound << ifsound << true << one;
    QTest::newRow("CRLF") << QByteArray("[sound]\r\nifsound=1\r\n") << sound << ifsound << true
                          << one;
    QTest::newRow("UTF-8 BOM") << bom + "[sound]\nifsound=1\n" << sound << ifsound << true << one;
    QTest::newRow("BOM and CRLF") << bom + "[sound]\r\nifsound=1\r\n"
                                  << sound << ifsound << true << one;
    QTest::newRow("LF and CRLF mixed")
        << QByteArray("[a]\r\nj=1\nk=2\r\n") << a << k << true << QStringLiteral("2");
    QTest::newRow("no ending on the last line")
        << QByteArray("[a]\nk=v") << a << k << true << QStringLiteral("v");
    QTest::newRow("stray CR at the end of the file")
        << QByteArray("[a]\r\nk=v\r") << a << k << true << QStringLiteral("v");
    QTest::newRow("CR inside a line is text")
        << QByteArray("[a]\nk=x\ry\n") << a << k << true << QStringLiteral("x\ry");
    QTest::newRow("value keeps '=', ';', '#' and quotes")
        << QByteArray("[a]\nk= x=y ; #z \"q\" \n") << a << k << true
        << QStringLiteral("x=y ; #z \"q\"");
    QTest::newRow("Windows path") << windowsFile << QStringLiteral("soundpath")
                                  << QStringLiteral("spath") << true
                                  << QStringLiteral("C:\\Users\\a\\ding.wav");
    QTest::newRow("CJK names and value")
        << QByteArray("[声音]\n路径=D:\\音乐\\提示.wav\n") << QStringLiteral("声音")
        << QStringLiteral("路径") << true << QStringLiteral("D:\\音乐\\提示.wav");
    QTest::newRow("empty value") << QByteArray("[a]\nk=\n") << a << k << true << QString();
    QTest::newRow("blank value") << QByteArray("[a]\nk=  \t\n") << a << k << true << QString();
    QTest::newRow("NUL inside a value")
        << raw("[a]\nk=x\0y\n") << a << k << true << QString::fromUtf16(u"x\0y", 3);
    QTest::newRow("comment lines are no keys")
        << QByteArray("[a]\n;k=1\n  #k=2\nk=3\n") << a << k << true << QStringLiteral("3");
    QTest::newRow("only a commented key")
        << QByteArray("[a]\n; k=1\n") << a << k << false << QString();
    QTest::newRow("first of duplicate keys")
        << QByteArray("[a]\nk=1\nK=2\n") << a << k << true << one;
    QTest::newRow("first of duplicate sections")
        << QByteArray("[a]\nk=1\n[A]\nk=2\n") << a << k << true << one;
    QTest::newRow("key only in a later duplicate section")
        << QByteArray("[a]\nx=1\n[a]\nk=2\n") << a << k << false << QString();
    QTest::newRow("key in the next section")
        << QByteArray("[a]\nx=1\n[b]\nk=2\n") << a << k << false << QString();
    QTest::newRow("key of a later section")
        << QByteArray("[a]\nk=1\n[b]\nk=2\n") << QStringLiteral("b") << k << true
        << QStringLiteral("2");
    QTest::newRow("key before any header")
        << QByteArray("k=1\n[a]\n") << a << k << false << QString();
    QTest::newRow("no sections at all")
        << QByteArray("ifsound=1\n") << sound << ifsound << false << QString();
    QTest::newRow("text after a header's ']'")
        << QByteArray("[a] ; note\nk=1\n") << a << k << true << one;
    QTest::newRow("'[' line without ']' opens nothing")
        << QByteArray("[a]\n[b\nk=1\n") << a << k << true << one;
    QTest::newRow("junk, NUL and invalid UTF-8 lines around")
        << raw("\0\x01\xff\xfe\n[a]\n\0junk\x7f\nk=1\n\xc3\n") << a << k << true << one;
    QTest::newRow("missing key") << QByteArray("[a]\nx=1\n") << a << k << false << QString();
    QTest::newRow("missing section") << QByteArray("[b]\nk=1\n") << a << k << false << QString();
    QTest::newRow("empty document") << QByteArray() << a << k << false << QString();
    QTest::newRow("empty section name never matches")
        << QByteArray("[]\nk=1\n") << QString() << k << false << QString();
    // Only the file's first bytes can be its byte-order mark.
    QTest::newRow("name starting with a BOM character")
        << QByteArray("[a]\n") + bom + "=1\n"
        << a << QStringLiteral("\uFEFF") << true << one;
    QTest::newRow("value starting with a BOM character")
        << QByteArray("[a]\nk=") + bom + "x\n"
        << a << k << true << QStringLiteral("\uFEFFx");
}

void TestIniDocument::readsValues()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, expected);

    const std::optional<QString> value = IniDocument(file).value(section, key);
    QCOMPARE(value.has_value(), found);
    if (found)
        QCOMPARE(*value, expected);
}

void TestIniDocument::writeChangesOnlyItsKey_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QString a = QStringLiteral("a");
    const QString b = QStringLiteral("b");
    const QString k = QStringLiteral("k");
    const QString v = QStringLiteral("v");

    QTest::newRow("first write into nothing")
        << QByteArray() << QStringLiteral("sound") << QStringLiteral("ifsound")
        << QStringLiteral("1") << QByteArray("[sound]\nifsound=1\n");
    QTest::newRow("new names in the case given")
        << QByteArray() << QStringLiteral("Tips") << QStringLiteral("ifTips") << QStringLiteral("1")
        << QByteArray("[Tips]\nifTips=1\n");
    QTest::newRow("existing names keep their case")
        << QByteArray("[TIPS]\nIFTIPS=0\n") << QStringLiteral("Tips") << QStringLiteral("ifTips")
        << QStringLiteral("1") << QByteArray("[TIPS]\nIFTIPS=1\n");
    QTest::newRow("spacing of the line is kept")
        << QByteArray("[a]\n  k = old  \n") << a << k << QStringLiteral("new")
        << QByteArray("[a]\n  k = new  \n");
    QTest::newRow("blanks after '=' give way")
        << QByteArray("[a]\nk=   \n") << a << k << v << QByteArray("[a]\nk=v\n");
    QTest::newRow("value stored without surrounding blanks")
        << QByteArray() << a << k << QStringLiteral(" \tv ") << QByteArray("[a]\nk=v\n");
    QTest::newRow("empty value") << QByteArray("[a]\nk=1\n") << a << k << QString()
                                 << QByteArray("[a]\nk=\n");
    QTest::newRow("new key after the section's last key")
        << QByteArray("[a]\nx=1\n; note\n\n; about b\n[b]\ny=2\n") << a << k << v
        << QByteArray("[a]\nx=1\nk=v\n; note\n\n; about b\n[b]\ny=2\n");
    QTest::newRow("new key in an empty section")
        << QByteArray("[a]\n\n[b]\n") << a << k << v << QByteArray("[a]\nk=v\n\n[b]\n");
    QTest::newRow("new key under a header without ending")
        << QByteArray("[a]") << a << k << v << QByteArray("[a]\nk=v\n");
    QTest::newRow("new section after a last line without ending")
        << QByteArray("[a]\nx=1") << b << k << v << QByteArray("[a]\nx=1\n[b]\nk=v\n");
    QTest::newRow("stray CR at the end joins the new line ending")
        << QByteArray("[a]\nk=1\r") << a << QStringLiteral("j") << v
        << QByteArray("[a]\nk=1\r\nj=v\n");
    QTest::newRow("CRLF file gets a CRLF key") << QByteArray("[a]\r\nx=1\r\n[b]\r\n") << a << k << v
                                               << QByteArray("[a]\r\nx=1\r\nk=v\r\n[b]\r\n");
    QTest::newRow("CRLF file gets a CRLF section") << QByteArray("[a]\r\nx=1\r\n") << b << k << v
                                                   << QByteArray("[a]\r\nx=1\r\n[b]\r\nk=v\r\n");
    QTest::newRow("line ending of the first line wins")
        << QByteArray("[a]\r\nx=1\n") << b << k << v << QByteArray("[a]\r\nx=1\n[b]\r\nk=v\r\n");
    QTest::newRow("BOM kept") << bom + "[a]\nk=1\n"
                              << a << k << QStringLiteral("2") << bom + "[a]\nk=2\n";
    QTest::newRow("first of duplicate keys written")
        << QByteArray("[a]\nk=1\nk=2\n") << a << k << QStringLiteral("9")
        << QByteArray("[a]\nk=9\nk=2\n");
    QTest::newRow("key missing from the first duplicate section goes there")
        << QByteArray("[a]\nx=1\n[a]\nk=1\n") << a << k << QStringLiteral("2")
        << QByteArray("[a]\nx=1\nk=2\n[a]\nk=1\n");
    QTest::newRow("key before any header left alone")
        << QByteArray("k=0\n[a]\n") << a << k << QStringLiteral("1")
        << QByteArray("k=0\n[a]\nk=1\n");
    QTest::newRow("same value leaves the bytes")
        << QByteArray("[a]\r\n k = 1 \r\n") << a << k << QStringLiteral("1")
        << QByteArray("[a]\r\n k = 1 \r\n");
    QTest::newRow("same empty value leaves the blanks after '='")
        << QByteArray("[a]\nk= \t\n") << a << k << QString() << QByteArray("[a]\nk= \t\n");
    QTest::newRow("same empty value leaves a stray CR at the end")
        << QByteArray("[a]\nk=\r") << a << k << QString() << QByteArray("[a]\nk=\r");
    QTest::newRow("junk and broken lines kept")
        << raw("\0\xff junk\n[a]\n[broken\nk=1\n") << a << k << QStringLiteral("2")
        << raw("\0\xff junk\n[a]\n[broken\nk=2\n");
    QTest::newRow("CJK value as UTF-8")
        << QByteArray("[soundpath]\nspath=\n") << QStringLiteral("soundpath")
        << QStringLiteral("spath") << QStringLiteral("/home/用户/提示音.wav")
        << QByteArray("[soundpath]\nspath=/home/用户/提示音.wav\n");

    QByteArray windowsTipsOn = windowsFile;
    windowsTipsOn.replace("ifTips=0", "ifTips=1");
    QTest::newRow("Windows file, switch changed")
        << windowsFile << QStringLiteral("Tips") << QStringLiteral("ifTips") << QStringLiteral("1")
        << windowsTipsOn;
    QByteArray windowsNewPath = windowsFile;
    windowsNewPath.replace("C:\\Users\\a\\ding.wav", "/home/a/ding.wav");
    QTest::newRow("Windows file, path changed")
        << windowsFile << QStringLiteral("soundpath") << QStringLiteral("spath")
        << QStringLiteral("/home/a/ding.wav") << windowsNewPath;

    QByteArray handSoundOff = handEditedFile;
    handSoundOff.replace("IfSound = 1", "IfSound = 0");
    QTest::newRow("hand-edited file, switch changed")
        << handEditedFile << QStringLiteral("sound") << QStringLiteral("ifsound")
        << QStringLiteral("0") << handSoundOff;
    QByteArray handNewPath = handEditedFile;
    handNewPath.replace("/home/a/My Sounds/ding.wav", "/tmp/beep.wav");
    QTest::newRow("hand-edited file, path changed")
        << handEditedFile << QStringLiteral("soundpath") << QStringLiteral("spath")
        << QStringLiteral("/tmp/beep.wav") << handNewPath;
    QTest::newRow("hand-edited file, section added")
        << handEditedFile << QStringLiteral("Tips") << QStringLiteral("ifTips")
        << QStringLiteral("1") << handEditedFile + "[Tips]\nifTips=1\n";
}

void TestIniDocument::writeChangesOnlyItsKey()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    IniDocument document(before);
    QVERIFY(document.setValue(section, key, value));
    QCOMPARE(document.toBytes(), after);
    QCOMPARE(document.value(section, key), std::optional<QString>(value.trimmed()));
    QCOMPARE(IniDocument(after).value(section, key), std::optional<QString>(value.trimmed()));
}

void TestIniDocument::refusesTextTheLayoutCannotHold_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const QString a = QStringLiteral("a");
    const QString k = QStringLiteral("k");
    const QString v = QStringLiteral("v");
    QTest::newRow("empty section") << QString() << k << v;
    QTest::newRow("blank section") << QStringLiteral(" \t") << k << v;
    QTest::newRow("empty key") << a << QString() << v;
    QTest::newRow("']' in section") << QStringLiteral("a]b") << k << v;
    QTest::newRow("line break in section") << QStringLiteral("a\nb") << k << v;
    QTest::newRow("'=' in key") << a << QStringLiteral("k=x") << v;
    QTest::newRow("key like a header") << a << QStringLiteral("[k") << v;
    QTest::newRow("key like a ';' comment") << a << QStringLiteral(";k") << v;
    QTest::newRow("key like a '#' comment") << a << QStringLiteral("#k") << v;
    QTest::newRow("CR in key") << a << QStringLiteral("k\rx") << v;
    QTest::newRow("LF in value") << a << k << QStringLiteral("1\n[evil]");
    QTest::newRow("CR in value") << a << k << QStringLiteral("1\r2");
}

void TestIniDocument::refusesTextTheLayoutCannotHold()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const QByteArray before("[a]\nk=1\n");
    IniDocument document(before);
    QVERIFY(!document.setValue(section, key, value));
    QCOMPARE(document.toBytes(), before);
}

void TestIniDocument::untouchedDocumentGivesBackItsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("LF") << QByteArray("[a]\nk=1\n");
    QTest::newRow("CRLF") << QByteArray("[a]\r\nk=1\r\n");
    QTest::newRow("mixed endings and stray CRs") << QByteArray("\r[a]\r\r\nk=1\n\r\n\rx");
    QTest::newRow("BOM only") << bom;
    QTest::newRow("BOM twice") << bom + bom + "[a]\n";
    QTest::newRow("blank lines only") << QByteArray("\n\n \t\n\r\n");
    QTest::newRow("NUL and invalid UTF-8") << raw("\0\xff\xc3[\0]=\n\xed\xa0\x80");
    QTest::newRow("hand-edited") << handEditedFile;
}

void TestIniDocument::untouchedDocumentGivesBackItsBytes()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(IniDocument(bytes).toBytes(), bytes);
}

void TestIniDocument::listsKeysOfSectionsInFileOrder()
{
    const IniDocument document(QByteArray("z=0\n[a]\nk=1\njunk\n[b]\nK=2\n; c=3\nk=4\n[a]\nj=5\n"));
    const QList<IniDocument::KeyName> keys = document.keys();
    QStringList listed;
    for (const IniDocument::KeyName &name : keys)
        listed.append(name.section + QLatin1Char('/') + name.key);
    QCOMPARE(listed, QStringList({QStringLiteral("a/k"), QStringLiteral("b/K"),
                                  QStringLiteral("b/k"), QStringLiteral("a/j")}));
}

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
