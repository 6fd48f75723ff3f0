#include "remotecontrol.h"

#include "schedule/longtime.h"
#include "schedule/taskmodel.h"

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
            const std::optional<QString> refusal = apply(*command);
            const QString answer = refusal ? *refusal : status(command->json);
            socket->write((refusal ? "refused\n" : "ok\n") + answer.toUtf8() + '\n');
            socket->disconnectFromServer();
        });
    }
}

std::optional<QString> RemoteControl::apply(const Command &command)
{
    if ((command.task || command.at) && m_task.isRunning() && !command.stop)
        return QStringLiteral("a task is running: add --stop to change its task or time");
    if (command.stop)
        m_task.stop();
    if (command.task)
        m_task.setTask(command.task);
    if (command.at)
        m_task.setTasktime(*command.at);
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
    if (json) {
        const QJsonValue null(QJsonValue::Null);
        return QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("running"), m_task.isRunning()},
                                      {QStringLiteral("task"), task ? QJsonValue(name) : null},
                                      {QStringLiteral("at"), at},
                                      {QStringLiteral("remind_minutes"), remind ? remind : null},
                                      {QStringLiteral("seconds_left"), left ? *left : null}})
                .toJson(QJsonDocument::Compact));
    }
    if (!m_task.isRunning())
        return QStringLiteral("idle");
    QString line =
        QStringLiteral("running: %1 at %2").arg(task ? name : QStringLiteral("no task"), at);
    if (m_task.reminder())
        line += remind ? QStringLiteral(", reminder %1 min before").arg(remind)
                       : QStringLiteral(", reminder on, no minutes chosen");
    else if (left)
        line += QStringLiteral(", in %1").arg(
            QTime(0, 0).addSecs(*left).toString(QStringLiteral("H:mm:ss")));
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
    if (lines.size() < 3 || (lines[0] != "ok" && lines[0] != "refused"))
        return {Result::NoAnswer, {}};
    return {lines[0] == "ok" ? Result::Done : Result::Refused, QString::fromUtf8(lines[1])};
}
