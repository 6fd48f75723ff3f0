// The program: refuses a second copy, otherwise wires the real backends to the task model and
// the main window and runs until the window is unloaded.

#include "about/ui/urlopener.h"
#include "app/instanceguard.h"
#include "app/ui/caretblink.h"
#include "app/ui/mian.h"
#include "app/version.h"
#include "power/powercontrol.h"
#include "power/sleepguard.h"
#include "schedule/actionwarning.h"
#include "schedule/clock.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"
#include "sound/soundoutput.h"
#include "sound/ui/filechooser.h"
#include "tray/notifier.h"
#include "tray/ui/qttraybackend.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcStartup, "quorvel.startup")

namespace {

int Main(QApplication &app)
{
    const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    QDir().mkpath(runtimeDir);
    const std::unique_ptr<InstanceGuard> guard = createInstanceGuard(
        InstanceGuard::lockPathFor(QCoreApplication::applicationFilePath(), runtimeDir));
    switch (guard->tryAcquire()) {
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
    SecondTimer seconds(clock);
    const std::unique_ptr<PowerControl> power = createPowerControl();
    TaskModel task(clock, seconds, *power);
    const std::unique_ptr<SoundOutput> sound = createSoundOutput();
    QtTrayBackend tray(createTrayHost());
    QtFileChooser fileChooser;
    DesktopUrlOpener urlOpener;
    Moduleini settings(QCoreApplication::applicationDirPath(),
                       QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));

    CaretBlink caret;
    Mian mian({task, seconds, clock, *sound, tray, fileChooser, urlOpener, settings});

    const std::unique_ptr<Notifier> notifier = createNotifier();
    ActionWarning warning(task, *notifier, settings);
    QObject::connect(&warning, &ActionWarning::balloon, &mian, &Mian::balloon);
    const std::unique_ptr<SleepGuard> sleepGuard = createSleepGuard();
    QObject::connect(&task, &TaskModel::runningChanged, sleepGuard.get(), &SleepGuard::hold);
    QObject::connect(sleepGuard.get(), &SleepGuard::resumed, &task, [&] {
        // Straight after waking: what passed meanwhile is told now, not at the next tick.
        seconds.realign();
        task.TaskTimer_Timer();
    });
    // Hiding to the tray closes no window; the program ends when the window is unloaded.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&mian, &Mian::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    mian.Form_Load();
    mian.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(Version::number);
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));
    return Main(app);
}
