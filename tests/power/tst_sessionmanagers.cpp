// Which session manager a power request goes to, decided without any bus.

#include "power/linux/sessionmanagers.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<SessionManagerKind>)

// Found by QCOMPARE through argument-dependent lookup.
char *toString(const std::optional<SessionManagerKind> &kind)
{
    static const char *const names[] = {"KDE", "GNOME", "MATE", "Xfce", "Cinnamon", "LXQt"};
    return qstrdup(kind ? names[int(*kind)] : "none");
}

namespace {

const QString kde = QStringLiteral("org.kde.Shutdown");
const QString gnome = QStringLiteral("org.gnome.SessionManager");
const QString xfce = QStringLiteral("org.xfce.SessionManager");
const QString cinnamon = QStringLiteral("org.cinnamon.SessionManager");
const QString lxqt = QStringLiteral("org.lxqt.session");

// Trimmed from what each session manager answers to Introspect.
QString introspection(const QStringList &methods, const QString &interface = gnome)
{
    QString xml = QStringLiteral(
        "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
        "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
        " <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
        "  <method name=\"Introspect\"><arg direction=\"out\" type=\"s\"/></method>\n"
        "  <method name=\"Reboot\"/><method name=\"RequestReboot\"/>\n"
        " </interface>\n");
    xml += QStringLiteral(" <interface name=\"%1\">\n").arg(interface);
    for (const QString &method : methods)
        xml += QStringLiteral("  <method name=\"%1\"><arg name=\"mode\" type=\"u\" "
                              "direction=\"in\"/></method>\n")
                   .arg(method);
    xml += QStringLiteral(" </interface>\n <node name=\"Client1\"/>\n</node>\n");
    return xml;
}

} // namespace

class TestSessionManagers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choice_data();
    void choice();
    void gnomeOrMate_data();
    void gnomeOrMate();
};

void TestSessionManagers::choice_data()
{
    using K = SessionManagerKind;
    QTest::addColumn<QStringList>("owned");
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<std::optional<SessionManagerKind>>("expected");

    const QStringList unrelated{
        ":1.7",         "org.freedesktop.DBus", "org.freedesktop.Notifications",
        "org.kde.KWin", "org.gnome.Shell",      "org.mate.SettingsDaemon"};
    const std::optional<K> none;
    QTest::newRow("nothing owned") << unrelated << QStringLiteral("GNOME") << none;
    QTest::newRow("desktop named, its manager absent")
        << QStringList{xfce} << QStringLiteral("KDE") << std::optional(K::Xfce);

    QTest::newRow("KDE alone") << (unrelated + QStringList{kde}) << QString()
                               << std::optional(K::Kde);
    QTest::newRow("GNOME name alone") << QStringList{gnome} << QString() << std::optional(K::Gnome);
    QTest::newRow("GNOME name on a MATE desktop")
        << QStringList{gnome} << QStringLiteral("MATE") << std::optional(K::Mate);
    QTest::newRow("Cinnamon's own name")
        << QStringList{cinnamon} << QStringLiteral("X-Cinnamon") << std::optional(K::Cinnamon);
    QTest::newRow("LXQt alone") << QStringList{lxqt} << QString() << std::optional(K::Lxqt);

    // Several present: the desktop's own manager first, in the variable's order, any case.
    QTest::newRow("GNOME desktop with KDE running too")
        << QStringList{kde, gnome} << QStringLiteral("ubuntu:GNOME") << std::optional(K::Gnome);
    QTest::newRow("first listed desktop that is present wins")
        << QStringList{xfce, lxqt} << QStringLiteral("LXQt:XFCE") << std::optional(K::Lxqt);
    QTest::newRow("desktop name in another case")
        << QStringList{kde, xfce} << QStringLiteral("xfce") << std::optional(K::Xfce);
    QTest::newRow("unknown desktop name: fixed order")
        << QStringList{gnome, lxqt, kde} << QStringLiteral("Hyprland") << std::optional(K::Kde);

    // Without a usable desktop name: distinctive names before the shared GNOME one.
    QTest::newRow("Cinnamon before the GNOME name it may also own")
        << QStringList{gnome, cinnamon} << QString() << std::optional(K::Cinnamon);
    QTest::newRow("Xfce before LXQt")
        << QStringList{lxqt, xfce} << QString() << std::optional(K::Xfce);
    QTest::newRow("a name is not a prefix match")
        << QStringList{"org.kde.ShutdownX", "org.gnome.SessionManager.Presence"} << QString()
        << none;
}

void TestSessionManagers::choice()
{
    QFETCH(QStringList, owned);
    QFETCH(QString, desktop);
    QFETCH(std::optional<SessionManagerKind>, expected);
    QCOMPARE(chooseSessionManager(owned, desktop), expected);
}

void TestSessionManagers::gnomeOrMate_data()
{
    using K = SessionManagerKind;
    QTest::addColumn<QString>("xml");
    QTest::addColumn<std::optional<SessionManagerKind>>("expected");
    const std::optional<K> unknown;

    QTest::newRow("GNOME's methods")
        << introspection({"Shutdown", "Reboot", "CanShutdown", "Logout", "IsSessionRunning"})
        << std::optional(K::Gnome);
    QTest::newRow("MATE's methods")
        << introspection({"Shutdown", "CanShutdown", "Logout", "RequestShutdown", "RequestReboot"})
        << std::optional(K::Mate);
    // Same methods under another interface (or only on a neighbouring one) say nothing.
    QTest::newRow("other interface")
        << introspection({"Reboot"}, "org.gnome.SessionManager.Client") << unknown;
    QTest::newRow("neither") << introspection({"Shutdown", "Logout"}) << unknown;
    QTest::newRow("both") << introspection({"Reboot", "RequestReboot"}) << unknown;
    QTest::newRow("empty answer") << QString() << unknown;
    QTest::newRow("broken XML") << QStringLiteral(
                                       "<node><interface name=\"org.gnome.SessionManager\">"
                                       "<method name=\"Reboot\"></interface>")
                                << unknown;
}

void TestSessionManagers::gnomeOrMate()
{
    QFETCH(QString, xml);
    QFETCH(std::optional<SessionManagerKind>, expected);
    QCOMPARE(gnomeOrMateFromIntrospection(xml), expected);
}

QTEST_GUILESS_MAIN(TestSessionManagers)
#include "tst_sessionmanagers.moc"
