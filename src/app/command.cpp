#include "command.h"

#include "schedule/longtime.h"
#include "schedule/taskrules.h"

#include "app/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

namespace {

std::optional<QTime> timeFrom(const QString &text)
{
    for (const char *format : {"H:mm:ss", "H:mm"}) {
        const QTime time = QTime::fromString(text, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return std::nullopt;
}

// "poweroff, restart, logoff"
QString keywords()
{
    QStringList k;
    for (const PowerActions::Info &a : PowerActions::all)
        k << QLatin1String(a.keyword);
    return k.join(QStringLiteral(", "));
}

// A keyword, or the task list's own name.
std::optional<PowerAction> taskFrom(const QString &name)
{
    if (const std::optional<PowerAction> action = PowerActions::fromKeyword(name))
        return action;
    return PowerActions::fromCaption(name);
}

// "<pid> <start>", as a request carries it.
std::optional<ProcessId> processFrom(const QString &text)
{
    const QStringList parts = text.split(u' ');
    bool pidOk = false, startOk = false;
    const qint64 pid = parts.value(0).toLongLong(&pidOk);
    const quint64 started = parts.value(1).toULongLong(&startOk);
    if (parts.size() != 2 || !pidOk || !startOk || pid <= 0)
        return std::nullopt;
    return ProcessId{pid, started, {}};
}

std::optional<int> minutesFrom(const QString &text)
{
    if (!TaskRules::reminderMinutes().contains(text))
        return std::nullopt;
    return text.toInt();
}

} // namespace

bool Command::isEmpty() const
{
    return !task && !at && !in && !afterProcess && !remind && !stop && !start && !hidden && !status;
}

std::optional<int> CommandLine::durationFrom(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(\\d{1,5})h)?(?:(\\d{1,5})m)?(?:(\\d{1,5})s)?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (text.isEmpty() || !match.hasMatch())
        return std::nullopt;
    const int seconds = match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 +
                        match.captured(3).toInt();
    if (seconds <= 0 || seconds > Command::maxInSeconds)
        return std::nullopt;
    return seconds;
}

QByteArray Command::toRequest() const
{
    QByteArray out = "quorvel 1\n";
    const auto line = [&out](const char *key, const QString &value = {}) {
        out += key;
        if (!value.isEmpty())
            out += ' ' + value.toLatin1();
        out += '\n';
    };
    if (stop)
        line("stop");
    if (task)
        line("task", PowerActions::keyword(*task));
    if (at)
        line("at", at->toString(timeOfDayFormat));
    if (in)
        line("in", QString::number(*in));
    if (afterProcess)
        line("after-pid",
             QStringLiteral("%1 %2").arg(afterProcess->pid).arg(afterProcess->started));
    if (remind)
        line("remind", QString::number(*remind));
    if (start)
        line("start");
    if (hidden)
        line("hidden");
    if (status)
        line(json ? "status json" : "status");
    return out + "end\n";
}

std::optional<Command> Command::fromRequest(QByteArrayView request)
{
    if (request.size() > maxRequestSize || !request.startsWith("quorvel 1\n") ||
        !request.endsWith("\nend\n"))
        return std::nullopt;
    Command c;
    QByteArrayList seen;
    const QByteArrayList lines = request.toByteArray().split('\n');
    // Between the first line and "end": each key once, with a valid value or none.
    for (qsizetype i = 1; i + 2 < lines.size(); ++i) {
        const qsizetype blank = lines[i].indexOf(' ');
        const QByteArray key = lines[i].left(blank < 0 ? lines[i].size() : blank);
        const QString value = blank < 0 ? QString() : QString::fromLatin1(lines[i].mid(blank + 1));
        if (seen.contains(key))
            return std::nullopt;
        seen << key;
        bool ok = blank < 0;
        if (key == "stop")
            c.stop = ok;
        else if (key == "start")
            c.start = ok;
        else if (key == "hidden")
            c.hidden = ok;
        else if (key == "status") {
            ok = ok || value == u"json";
            c.status = true;
            c.json = blank >= 0;
        } else if (key == "task")
            ok = bool(c.task = PowerActions::fromKeyword(value));
        else if (key == "at")
            ok = bool(c.at = timeFrom(value));
        else if (key == "in")
            ok = bool(c.in = CommandLine::durationFrom(value + u's'));
        else if (key == "after-pid")
            ok = bool(c.afterProcess = processFrom(value));
        else if (key == "remind")
            ok = bool(c.remind = value == u"0" ? 0 : minutesFrom(value));
        else
            ok = false;
        if (!ok)
            return std::nullopt;
    }
    return c;
}

CommandLine CommandLine::parse(const QStringList &arguments,
                               const std::function<std::optional<ProcessId>(qint64)> &findProcess)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shuts down, restarts or logs off at a time of day, or reminds before it.\n"
                       "Options given while a copy runs are handed to that copy."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption task({QStringLiteral("t"), QStringLiteral("task")},
                                  QStringLiteral("The task: %1.").arg(keywords()),
                                  QStringLiteral("task"));
    const QCommandLineOption at({QStringLiteral("a"), QStringLiteral("at")},
                                QStringLiteral("The time of day: HH:MM or HH:MM:SS."),
                                QStringLiteral("time"));
    const QString minutes = TaskRules::reminderMinutes().join(u' ');
    const QCommandLineOption in(
        QStringLiteral("in"),
        QStringLiteral("The time of day so long from now: 90m, 1h30m, 45s, 2h (24h at most)."),
        QStringLiteral("duration"));
    const QCommandLineOption afterPid(
        QStringLiteral("after-pid"),
        QStringLiteral("Instead of a time of day, act when this process ends (with --task and "
                       "--start; warned as ever)."),
        QStringLiteral("pid"));
    const QCommandLineOption remind(
        {QStringLiteral("r"), QStringLiteral("remind")},
        QStringLiteral("Turn the reminder on, so many minutes before (%1).").arg(minutes),
        QStringLiteral("minutes"));
    const QCommandLineOption noRemind(QStringLiteral("no-remind"),
                                      QStringLiteral("Turn the reminder off."));
    const QCommandLineOption start(QStringLiteral("start"), QStringLiteral("Start the task."));
    const QCommandLineOption stop(QStringLiteral("stop"),
                                  QStringLiteral("Stop the task (before anything else)."));
    const QCommandLineOption status({QStringLiteral("s"), QStringLiteral("status")},
                                    QStringLiteral("Print the state of the running copy."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("With --status: one JSON object."));
    const QCommandLineOption hidden(QStringLiteral("hidden"),
                                    QStringLiteral("Go straight into the tray."));
    parser.addOptions({help, version, task, at, in, afterPid, remind, noRemind, start, stop, status,
                       json, hidden});

    CommandLine out;
    const auto fail = [&out](const QString &message) {
        out.outcome = Outcome::Error;
        out.text = message;
        return out;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'")
                        .arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        out.outcome = Outcome::Help;
        const QString help = parser.helpText();
        out.text = QStringLiteral("Usage: quorvel [options]") + help.mid(help.indexOf(u'\n'));
        return out;
    }
    if (parser.isSet(version)) {
        out.outcome = Outcome::Version;
        out.text = QStringLiteral("quorvel %1").arg(Version::number);
        return out;
    }
    for (const QCommandLineOption *o : {&task, &at, &in, &afterPid, &remind})
        if (parser.values(*o).size() > 1)
            return fail(QStringLiteral("--%1 given more than once").arg(o->names().constLast()));
    Command &c = out.command;
    if (parser.isSet(task) && !(c.task = taskFrom(parser.value(task))))
        return fail(
            QStringLiteral("--task: '%1' is none of %2").arg(parser.value(task), keywords()));
    if (parser.isSet(at) && !(c.at = timeFrom(parser.value(at))))
        return fail(QStringLiteral("--at: '%1' is no time of day (HH:MM or HH:MM:SS)")
                        .arg(parser.value(at)));
    for (const auto &[a, b] :
         {std::pair{&remind, &noRemind}, std::pair{&in, &at}, std::pair{&afterPid, &at},
          std::pair{&afterPid, &in}, std::pair{&afterPid, &remind}})
        if (parser.isSet(*a) && parser.isSet(*b))
            return fail(QStringLiteral("--%1 and --%2 together")
                            .arg(a->names().constLast(), b->names().constLast()));
    if (parser.isSet(in) && !(c.in = durationFrom(parser.value(in))))
        return fail(QStringLiteral("--in: '%1' is no duration from 1s to 24h (like 90m, 1h30m, "
                                   "45s)")
                        .arg(parser.value(in)));
    if (parser.isSet(afterPid)) {
        const QString value = parser.value(afterPid);
        bool ok = false;
        const qint64 pid = value.toLongLong(&ok);
        if (!ok || pid <= 0)
            return fail(QStringLiteral("--after-pid: '%1' is no process number").arg(value));
        if (pid == QCoreApplication::applicationPid())
            return fail(QStringLiteral("--after-pid: %1 is this quorvel itself").arg(pid));
        if (!(c.afterProcess = findProcess(pid)))
            return fail(QStringLiteral("--after-pid: there is no process %1").arg(pid));
        if (!parser.isSet(task) || !parser.isSet(start))
            return fail(QStringLiteral("--after-pid needs --task and --start"));
    }
    if (parser.isSet(remind) && !(c.remind = minutesFrom(parser.value(remind))))
        return fail(
            QStringLiteral("--remind: '%1' is none of %2").arg(parser.value(remind), minutes));
    if (parser.isSet(noRemind))
        c.remind = 0;
    if (parser.isSet(json) && !parser.isSet(status))
        return fail(QStringLiteral("--json needs --status"));
    c.start = parser.isSet(start);
    c.stop = parser.isSet(stop);
    c.hidden = parser.isSet(hidden);
    c.status = parser.isSet(status);
    c.json = parser.isSet(json);
    return out;
}
