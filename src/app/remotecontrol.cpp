#include "remotecontrol.h"

#include "schedule/longtime.h"
#include "schedule/taskmodel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcRemote, "quorvel.remote")

RemoteControl::RemoteControl(TaskModel &task, std::function<bool(qintptr)> trusted)
    : m_task(task), m_trusted(std::move(trusted))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &RemoteControl::onConnection);
}

bool RemoteControl::listen(const QString &name)
{
    // Called with the single-copy lock held: a socket still there is a dead copy's.
    QLocalServer::removeServer(name);
    if (m_server.listen(name)) {
        QFile::setPermissions(m_server.fullServerName(), QFile::ReadOwner | QFile::WriteOwner);
        return true;
    }
    qCWarning(lcRemote).noquote() << "cannot listen on" << name << "-" << m_server.errorString();
    return false;
}

void RemoteControl::onConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (m_connections >= maxConnections || !m_trusted(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        // A peer that is slow to say what it wants is cut off.
        QTimer::singleShot(requestTimeoutMs, socket, &QLocalSocket::abort);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, request] {
            *request += socket->read(Command::maxRequestSize + 1 - request->size());
            if (request->size() > Command::maxRequestSize) {
                socket->abort();
                return;
            }
            if (!request->endsWith("\nend\n"))
                return;
            const std::optional<Command> command = Command::fromRequest(*request);
            if (!command) {
                qCWarning(lcRemote) << "dropped a malformed request";
                socket->abort();
                return;
            }
            if (command->afterProcess &&
                command->afterProcess->pid == QCoreApplication::applicationPid()) {
                socket->write(QStringLiteral("invalid\n--after-pid: %1 is the running quorvel "
                                             "itself\n")
                                  .arg(command->afterProcess->pid)
                                  .toUtf8());
                socket->disconnectFromServer();
                return;
            }
            const std::optional<QString> refusal = apply(*command);
            const QString answer = refusal ? *refusal : status(command->json);
            socket->write((refusal ? "refused\n" : "ok\n") + answer.toUtf8() + '\n');
            socket->disconnectFromServer();
        });
    }
}

std::optional<QString> RemoteControl::apply(const Command &command)
{
    const bool running = m_task.isRunning() && !command.stop;
    if ((command.task || command.at || command.in || command.afterProcess) && running)
        return QStringLiteral("a task is running: add --stop to change its task or time");
    if (command.afterProcess && m_task.reminder() && command.remind != 0)
        return QStringLiteral("the reminder is on: add --no-remind to wait for a process");
    if (command.stop)
        m_task.stop();
    if (command.task)
        m_task.setTask(command.task);
    if (command.at)
        m_task.setTasktime(*command.at);
    if (command.in)
        m_task.setTasktimeIn(*command.in);
    if (command.afterProcess)
        m_task.setAfterProcess(command.afterProcess);
    if (command.remind) {
        m_task.setReminder(*command.remind > 0);
        if (*command.remind > 0)
            m_task.setTipmins(*command.remind);
    }
    if (command.start)
        m_task.start();
    if (command.hidden)
        Q_EMIT hideRequested();
    return std::nullopt;
}

QString RemoteControl::status(bool json) const
{
    const std::optional<PowerAction> task = m_task.task();
    const QString at = m_task.tasktime().toString(timeOfDayFormat);
    const QString name = task ? PowerActions::keyword(*task) : QString();
    const int remind = m_task.reminder() ? m_task.tipmins() : 0;
    const std::optional<int> left = m_task.secondsLeft();
    const std::optional<ProcessId> &after = m_task.afterProcess();
    if (json) {
        const QJsonValue null(QJsonValue::Null);
        return QString::fromUtf8(
            QJsonDocument(
                QJsonObject{{QStringLiteral("running"), m_task.isRunning()},
                            {QStringLiteral("task"), task ? QJsonValue(name) : null},
                            {QStringLiteral("at"), at},
                            {QStringLiteral("after_pid"), after ? QJsonValue(after->pid) : null},
                            {QStringLiteral("remind_minutes"), remind ? remind : null},
                            {QStringLiteral("seconds_left"), left ? *left : null}})
                .toJson(QJsonDocument::Compact));
    }
    if (!m_task.isRunning())
        return QStringLiteral("idle");
    const QString what = task ? name : QStringLiteral("no task");
    const QString in =
        left ? QTime(0, 0).addSecs(*left).toString(QStringLiteral("H:mm:ss")) : QString();
    if (after) {
        const QString process =
            after->name.isEmpty()
                ? QStringLiteral("process %1").arg(after->pid)
                : QStringLiteral("process %1 (%2)").arg(after->pid).arg(after->name);
        return m_task.processEnded()
                   ? QStringLiteral("running: %1 in %2, %3 ended").arg(what, in, process)
                   : QStringLiteral("running: %1 after %2 ends").arg(what, process);
    }
    QString line = QStringLiteral("running: %1 at %2").arg(what, at);
    if (m_task.reminder())
        line += remind ? QStringLiteral(", reminder %1 min before").arg(remind)
                       : QStringLiteral(", reminder on, no minutes chosen");
    else if (left)
        line += QStringLiteral(", in %1").arg(in);
    return line;
}

HandOver HandOver::send(const QString &name, const Command &command, int timeoutMs)
{
    if (name.isEmpty())
        return {Result::NoCopy, {}};
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        const bool gone = socket.error() == QLocalSocket::ServerNotFoundError ||
                          socket.error() == QLocalSocket::ConnectionRefusedError;
        return {gone ? Result::NoCopy : Result::NoAnswer, {}};
    }
    socket.write(command.toRequest());
    QByteArray reply;
    while (reply.count('\n') < 2 && socket.waitForReadyRead(int(deadline.remainingTime())))
        reply += socket.readAll();
    reply += socket.readAll();
    const QList<QByteArray> lines = reply.split('\n');
    const QByteArray kind = lines.value(0);
    if (lines.size() < 3 || (kind != "ok" && kind != "refused" && kind != "invalid"))
        return {Result::NoAnswer, {}};
    return {kind == "ok"        ? Result::Done
            : kind == "refused" ? Result::Refused
                                : Result::Invalid,
            QString::fromUtf8(lines[1])};
}
