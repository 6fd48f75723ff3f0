#include "canberrasoundoutput.h"

#include "canberraworker.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QThread>

Q_LOGGING_CATEGORY(lcCanberraOutput, "quorvel.sound.output")

CanberraSoundOutput::CanberraSoundOutput() = default;

CanberraSoundOutput::~CanberraSoundOutput()
{
    if (!m_thread)
        return;
    m_worker->newTicket();
    m_thread->quit();
    // A hung sound server can hold the worker for half a minute; do not hold the exit with it.
    if (!m_thread->wait(QDeadlineTimer(1000))) {
        qCWarning(lcCanberraOutput) << "sound thread still waits on the server; leaving it";
        QThread *thread = m_thread.release();
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
}

void CanberraSoundOutput::ensureThread()
{
    if (m_thread)
        return;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("quorvel-sound"));
    m_worker = new CanberraWorker;
    m_worker->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &CanberraWorker::started, this,
            [this](quint64, const QString &path) { Q_EMIT playStarted(path); });
    connect(m_worker, &CanberraWorker::failed, this,
            [this](quint64, const QString &path, const QString &reason) {
                Q_EMIT playFailed(path, reason);
            });
    m_thread->start();
}

void CanberraSoundOutput::prepare()
{
    ensureThread();
    CanberraWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] { worker->open(); }, Qt::QueuedConnection);
}

void CanberraSoundOutput::play(const QString &path)
{
    ensureThread();
    CanberraWorker *worker = m_worker;
    const quint64 ticket = worker->newTicket();
    QMetaObject::invokeMethod(
        worker, [worker, ticket, path] { worker->play(ticket, path); }, Qt::QueuedConnection);
}

void CanberraSoundOutput::stop()
{
    if (!m_thread)
        return;
    CanberraWorker *worker = m_worker;
    worker->newTicket();
    QMetaObject::invokeMethod(
        worker, [worker] { worker->stop(); }, Qt::QueuedConnection);
}

std::unique_ptr<SoundOutput> createSoundOutput()
{
    return std::make_unique<CanberraSoundOutput>();
}
