// The program: hands a command line over to a running copy, or refuses a second copy, or wires
// the real backends to the task model and the main window and runs until the window unloads.

#include "about/ui/urlopener.h"
#include "app/command.h"
#include "app/console.h"
#include "app/instanceguard.h"
#include "app/localchannel.h"
#include "app/remotecontrol.h"
#include "app/ui/caretblink.h"
#include "app/ui/mian.h"
#include "app/version.h"
#include "app/windowsystem.h"
#include "power/powercontrol.h"
#include "power/sleepguard.h"
#include "schedule/actionwarning.h"
#include "schedule/alarm.h"
#include "schedule/clock.h"
#include "schedule/processwatch.h"
#include "schedule/secondtimer.h"
#include "schedule/taskmodel.h"
#include "settings/moduleini.h"
#include "sound/soundoutput.h"
#include "sound/ui/filechooser.h"
#include "tray/notifier.h"
#include "tray/ui/qttraybackend.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>

#include <cstdio>

Q_LOGGING_CATEGORY(lcStartup, "quorvel.startup")

namespace {

enum Exit { Ok = 0, Refused = 1, Usage = 2, NotRunning = 3, NoAnswer = 4 };
constexpr int answerTimeoutMs = 3000;

void print(std::FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stream);
}

// The GUI, with the command applied as if the user had set the controls.
int run(int argc, char *argv[], const Command &command, const QString &name)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(Version::number);
    QApplication::setDesktopFileName(QStringLiteral("quorvel"));

    const std::unique_ptr<InstanceGuard> guard = createInstanceGuard(name);
    switch (guard->tryAcquire()) {
    case InstanceGuard::Result::HeldByOther:
        if (!command.isEmpty()) { // a copy that is starting, or hangs
            print(stderr, QStringLiteral("quorvel: the running copy does not answer"));
            return NoAnswer;
        }
        QMessageBox::critical(nullptr, QStringLiteral("错误！"), QStringLiteral("程序已经运行！"),
                              QMessageBox::Ok);
        return Ok;
    case InstanceGuard::Result::Unavailable:
        // Better a second copy than no copy at all.
        qCWarning(lcStartup) << "single-instance lock unavailable:" << name;
        break;
    case InstanceGuard::Result::Acquired:
        break;
    }

    SystemClock clock;
    SecondTimer seconds(clock); // the clock caption's
    const std::unique_ptr<Alarm> alarm = createAlarm();
    const std::unique_ptr<ProcessWatch> processes = createProcessWatch();
    const std::unique_ptr<PowerControl> power = createPowerControl();
    TaskModel task(clock, *alarm, *processes, *power);
    const std::unique_ptr<SoundOutput> sound = createSoundOutput();
    QtTrayBackend tray(createTrayHost());
    QtFileChooser fileChooser;
    DesktopUrlOpener urlOpener;
    Moduleini settings = programSettings();
    CaretBlink caret;
    Mian mian({task, seconds, clock, *sound, tray, fileChooser, urlOpener, settings,
               ownTitleBarNeeded(), !minimiseIsReported()});

    const std::unique_ptr<Notifier> notifier = createNotifier();
    ActionWarning warning(task, *notifier, settings);
    QObject::connect(&warning, &ActionWarning::balloon, &mian, &Mian::balloon);
    QObject::connect(&warning, &ActionWarning::warningShown, &mian, &Mian::offerPostpone);
    QObject::connect(&mian, &Mian::postponeRequested, &warning, &ActionWarning::postpone);
    const std::unique_ptr<SleepGuard> sleepGuard = createSleepGuard();
    QObject::connect(&task, &TaskModel::runningChanged, sleepGuard.get(), &SleepGuard::hold);
    // Straight after waking: what passed meanwhile is told now, and the clock shows the time.
    QObject::connect(sleepGuard.get(), &SleepGuard::resumed, &task, &TaskModel::TaskTimer_Timer);
    QObject::connect(sleepGuard.get(), &SleepGuard::resumed, &seconds, &SecondTimer::realign);

    RemoteControl remote(task, &peerIsThisUser);
    QObject::connect(&remote, &RemoteControl::hideRequested, &mian, &Mian::hideToTray);

    // Hiding to the tray closes no window; the program ends when the window is unloaded.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&mian, &Mian::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    mian.Form_Load();
    remote.apply(command); // nothing runs yet: nothing to refuse
    if (!mian.intray())    // --hidden went to the tray, where there is one
        mian.show();
    remote.listen(localServerName(name));
    return app.exec();
}

// Everything before the GUI needs no display: a terminal or a script may have none.
std::optional<int> handOver(const Command &command, const QString &name)
{
    const HandOver answer = HandOver::send(localServerName(name), command, answerTimeoutMs);
    switch (answer.result) {
    case HandOver::Result::Done:
        print(stdout, answer.text);
        return Ok;
    case HandOver::Result::Refused:
        print(stderr, QStringLiteral("quorvel: %1").arg(answer.text));
        return Refused;
    case HandOver::Result::Invalid:
        print(stderr, QStringLiteral("quorvel: %1").arg(answer.text));
        return Usage;
    case HandOver::Result::NoAnswer:
        print(stderr, QStringLiteral("quorvel: the running copy does not answer"));
        return NoAnswer;
    case HandOver::Result::NoCopy:
        break;
    }
    if (command.status) {
        print(stdout, command.json ? QStringLiteral(R"({"running":false})")
                                   : QStringLiteral("not running"));
        return NotRunning;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1)
        attachConsole();
    CommandLine line;
    QString name;
    {
        QCoreApplication core(argc, argv);
        const std::unique_ptr<ProcessWatch> processes = createProcessWatch();
        line = CommandLine::parse(QCoreApplication::arguments(),
                                  [&processes](qint64 pid) { return processes->find(pid); });
        switch (line.outcome) {
        case CommandLine::Outcome::Help:
        case CommandLine::Outcome::Version:
            print(stdout, line.text.trimmed());
            return Ok;
        case CommandLine::Outcome::Error:
            print(stderr, QStringLiteral("quorvel: %1").arg(line.text));
            return Usage;
        case CommandLine::Outcome::Run:
            break;
        }
        name = instanceName(QCoreApplication::applicationFilePath());
        if (!line.command.isEmpty())
            if (const std::optional<int> exit = handOver(line.command, name))
                return *exit;
    }
    detachFromTerminal();
    return run(argc, argv, line.command, name);
}
