#include "command.h"

#include "schedule/longtime.h"
#include "schedule/taskrules.h"

#include "app/version.h"

#include <QCommandLineParser>

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

std::optional<int> minutesFrom(const QString &text)
{
    if (!TaskRules::reminderMinutes().contains(text))
        return std::nullopt;
    return text.toInt();
}

} // namespace

bool Command::isEmpty() const
{
    return !task && !at && !remind && !stop && !start && !hidden && !status;
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
        else if (key == "remind")
            ok = bool(c.remind = value == u"0" ? 0 : minutesFrom(value));
        else
            ok = false;
        if (!ok)
            return std::nullopt;
    }
    return c;
}

CommandLine CommandLine::parse(const QStringList &arguments)
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
    parser.addOptions(
        {help, version, task, at, remind, noRemind, start, stop, status, json, hidden});

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
    for (const QCommandLineOption *o : {&task, &at, &remind})
        if (parser.values(*o).size() > 1)
            return fail(QStringLiteral("--%1 given more than once").arg(o->names().constLast()));
    Command &c = out.command;
    if (parser.isSet(task) && !(c.task = taskFrom(parser.value(task))))
        return fail(QStringLiteral("--task: '%1' is none of %2").arg(parser.value(task), keywords()));
    if (parser.isSet(at) && !(c.at = timeFrom(parser.value(at))))
        return fail(QStringLiteral("--at: '%1' is no time of day (HH:MM or HH:MM:SS)")
                        .arg(parser.value(at)));
    if (parser.isSet(remind) && parser.isSet(noRemind))
        return fail(QStringLiteral("--remind and --no-remind together"));
    if (parser.isSet(remind) && !(c.remind = minutesFrom(parser.value(remind))))
        return fail(QStringLiteral("--remind: '%1' is none of %2").arg(parser.value(remind), minutes));
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
