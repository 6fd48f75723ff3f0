#include "playsoundoutput.h"

#include <QDir>
#include <QFileInfo>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

#include <string>

PlaySoundOutput::PlaySoundOutput() : m_thread(new QThread), m_worker(new QObject)
{
    m_thread->setObjectName(QStringLiteral("quorvel-sound"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(this, &PlaySoundOutput::reported, this,
            [this](quint64, const QString &path, const QString &failure) {
                if (failure.isEmpty())
                    Q_EMIT playStarted(path);
                else
                    Q_EMIT playFailed(path, failure);
            });
    m_thread->start();
}

PlaySoundOutput::~PlaySoundOutput()
{
    // A sound still playing would outlive the player otherwise.
    stop();
    m_thread->quit();
    // A share that never answers must not hold the exit.
    if (m_thread->wait(1000))
        delete m_thread;
    else
        connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
}

void PlaySoundOutput::play(const QString &path)
{
    const quint64 ticket = ++m_latest;
    QMetaObject::invokeMethod(m_worker, [this, ticket, path] {
        if (ticket != m_latest)
            return;
        ::PlaySoundW(nullptr, nullptr, 0);
        QString failure;
        if (path.isEmpty()) {
            failure = QStringLiteral("no sound file chosen");
        } else if (!QFileInfo(path).isFile()) {
            failure = QStringLiteral("file not found");
        } else {
            // SND_NODEFAULT: a file that cannot be played stays silent, not the default beep.
            const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
            if (!::PlaySoundW(native.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT))
                failure = QStringLiteral("the system cannot play this file");
        }
        Q_EMIT reported(ticket, path, failure);
    });
}

void PlaySoundOutput::stop()
{
    ++m_latest;
    QMetaObject::invokeMethod(m_worker, [] { ::PlaySoundW(nullptr, nullptr, 0); });
}

std::unique_ptr<SoundOutput> createSoundOutput()
{
    return std::make_unique<PlaySoundOutput>();
}
