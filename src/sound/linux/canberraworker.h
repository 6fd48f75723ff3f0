#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QTemporaryDir;
struct ca_context;

// Everything that may wait on the sound server or the disk, run on the backend's own thread.
// Requests carry tickets; only the newest ticket may start a sound, so a stop or a later play
// always wins over an older play that is still being read or converted.
class CanberraWorker final : public QObject
{
    Q_OBJECT

public:
    CanberraWorker();
    ~CanberraWorker() override;

    // Any thread: outdates every request made so far.
    quint64 newTicket() { return ++m_latest; }

    // The worker's thread only.
    void open();
    void play(quint64 ticket, const QString &path);
    void stop();

Q_SIGNALS:
    void started(quint64 ticket, const QString &path);
    void failed(quint64 ticket, const QString &path, const QString &reason);

private:
    struct Playing
    {
        quint32 id = 0;
        quint64 ticket = 0;
        QString path;
    };

    bool isCurrent(quint64 ticket) const { return m_latest.load() == ticket; }
    bool ensureContext();
    void destroyContext();
    int startSound(quint64 ticket, const QString &path, const QString &file);
    int playOnce(quint32 id, const QString &file);
    // Returns the file to play, or an empty string after reporting why there is none.
    QString convertedCopy(quint64 ticket, const QString &path);
    void onFinished(quint32 id, int error);

    static void finishCallback(ca_context *context, quint32 id, int error, void *self);

    std::atomic<quint64> m_latest{0};
    ca_context *m_context = nullptr;
    quint32 m_nextId = 0;
    Playing m_playing;
    std::unique_ptr<QTemporaryDir> m_cacheDir;
    QHash<QString, QString> m_cached; // source path -> converted copy for its current state
};
