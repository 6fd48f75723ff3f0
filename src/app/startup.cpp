#include "startup.h"

#include "about/urlopener.h"
#include "app/instanceguard.h"
#include "app/mian.h"
#include "power/powercontrol.h"
#include "schedule/clock.h"
#include "settings/moduleini.h"
#include "sound/filechooser.h"
#include "sound/soundoutput.h"
#include "tray/qttraybackend.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcStartup, "quorvel.startup")

int Main(QApplication &app)
{
    const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QDir().mkpath(runtimeDir);
    InstanceGuard guard(
        InstanceGuard::lockPathFor(QCoreApplication::applicationFilePath(), runtimeDir));
    switch (guard.tryAcquire()) {
    case InstanceGuard::Result::HeldByOther:
        QMessageBox::critical(nullptr, QStringLiteral("错误！"), QStringLiteral("程序已经运行！"),
                              QMessageBox::Ok);
        return 0;
    case InstanceGuard::Result::Unavailable:
        // Better a second copy than no copy at all.
        qCWarning(lcStartup) << "single-instance lock unavailable in" << runtimeDir;
        break;
    case InstanceGuard::Result::Acquired:
        break;
    }

    SystemClock clock;
    const std::unique_ptr<PowerControl> power = createPowerControl();
    const std::unique_ptr<SoundOutput> sound = createSoundOutput();
    QtTrayBackend tray;
    QtFileChooser fileChooser;
    DesktopUrlOpener urlOpener;
    Moduleini settings(QCoreApplication::applicationDirPath(),
                       QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));

    Mian mian({clock, *power, *sound, tray, fileChooser, urlOpener, settings});
    // Hiding to the tray closes no window; the program ends when the window is unloaded.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&mian, &Mian::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    mian.Form_Load();
    mian.show();
    return app.exec();
}
