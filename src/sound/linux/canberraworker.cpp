#include "canberraworker.h"

#include "wavfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <canberra.h>

Q_LOGGING_CATEGORY(lcCanberra, "quorvel.sound.canberra")

namespace {

// The context is unusable after the server went away or was never there; a new one connects
// afresh. CA_ERROR_STATE is what a context answers after its server restarted.
bool needsNewContext(int error)
{
    return error == CA_ERROR_STATE || error == CA_ERROR_DISCONNECTED || error == CA_ERROR_IO ||
           error == CA_ERROR_NOTAVAILABLE;
}

QString caReason(int error)
{
    return QStringLiteral("sound server: %1").arg(QString::fromUtf8(ca_strerror(error)));
}

} // namespace

CanberraWorker::CanberraWorker() = default;

CanberraWorker::~CanberraWorker()
{
    destroyContext();
}

bool CanberraWorker::ensureContext()
{
    if (m_context)
        return true;
    if (const int error = ca_context_create(&m_context); error != CA_SUCCESS) {
        m_context = nullptr;
        qCWarning(lcCanberra) << "cannot create a context:" << ca_strerror(error);
        return false;
    }
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, name.constData(), nullptr);
    return true;
}

void CanberraWorker::destroyContext()
{
    if (!m_context)
        return;
    // Outstanding sounds end here; their callbacks come with CA_ERROR_DESTROYED.
    ca_context_destroy(m_context);
    m_context = nullptr;
    m_playing = {};
}

void CanberraWorker::open()
{
    if (!ensureContext())
        return;
    // Without a server this fails, yet a later play connects once the server is there.
    if (const int error = ca_context_open(m_context); error != CA_SUCCESS)
        qCDebug(lcCanberra) << "no sound server yet:" << ca_strerror(error);
}

void CanberraWorker::stop()
{
    if (m_context && m_playing.id != 0)
        ca_context_cancel(m_context, m_playing.id);
    m_playing = {};
}

void CanberraWorker::play(quint64 ticket, const QString &path)
{
    stop();
    if (!isCurrent(ticket))
        return;

    const WavFile::Info info = WavFile::inspect(path);
    if (!info.error.isEmpty()) {
        Q_EMIT failed(ticket, path, info.error);
        return;
    }
    QString file = path;
    if (!info.playsAsIs) {
        file = convertedCopy(ticket, path);
        if (file.isEmpty())
            return;
    }
    if (!isCurrent(ticket))
        return;

    int error = startSound(ticket, path, file);
    if ((error == CA_ERROR_NOTSUPPORTED || error == CA_ERROR_CORRUPT) && file == path) {
        // Some variant of plain PCM that canberra's own reader refuses: hand it a clean copy.
        file = convertedCopy(ticket, path);
        if (file.isEmpty())
            return;
        if (!isCurrent(ticket))
            return;
        error = startSound(ticket, path, file);
    }
    if (error != CA_SUCCESS)
        Q_EMIT failed(ticket, path, caReason(error));
}

int CanberraWorker::startSound(quint64 ticket, const QString &path, const QString &file)
{
    if (!ensureContext())
        return CA_ERROR_OOM;
    const quint32 id = ++m_nextId;
    QElapsedTimer waited;
    waited.start();
    int error = playOnce(id, file);
    // A fast failure means a stale connection, worth one retry on a fresh one. A slow one is a
    // server that does not answer; asking again would only keep this thread waiting as long.
    if (needsNewContext(error)) {
        const bool timedOut = waited.elapsed() > 1000;
        qCDebug(lcCanberra) << "play failed:" << ca_strerror(error) << "after" << waited.elapsed()
                            << "ms; reconnecting" << (timedOut ? "without retry" : "and retrying");
        destroyContext();
        if (!timedOut && isCurrent(ticket) && ensureContext())
            error = playOnce(id, file);
    }
    if (error == CA_SUCCESS) {
        m_playing = {id, ticket, path};
        Q_EMIT started(ticket, path);
    }
    return error;
}

int CanberraWorker::playOnce(quint32 id, const QString &file)
{
    ca_proplist *props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS)
        return CA_ERROR_OOM;
    ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData());
    // The server's sample cache would keep playing an old version of an edited file.
    ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
    // A reminder the user set up is not a desktop event sound: muting those must not mute it.
    ca_proplist_sets(props, CA_PROP_MEDIA_ROLE, "music");
    const int error = ca_context_play_full(m_context, id, props, &finishCallback, this);
    ca_proplist_destroy(props);
    return error;
}

QString CanberraWorker::convertedCopy(quint64 ticket, const QString &path)
{
    if (!m_cacheDir) {
        m_cacheDir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                     QStringLiteral("/quorvel-sound-XXXXXX"));
        if (!m_cacheDir->isValid()) {
            const QString reason = m_cacheDir->errorString();
            m_cacheDir.reset();
            Q_EMIT failed(ticket, path,
                          QStringLiteral("no room for a converted copy: %1").arg(reason));
            return {};
        }
    }
    // An edited file gets a new name, so it is converted again.
    const QFileInfo source(path);
    const QByteArray key = QFile::encodeName(source.absoluteFilePath()) + '\n' +
                           QByteArray::number(source.size()) + '\n' +
                           QByteArray::number(source.lastModified().toMSecsSinceEpoch());
    const QString copy = m_cacheDir->filePath(
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
        QStringLiteral(".wav"));
    if (QFileInfo::exists(copy))
        return copy;

    QElapsedTimer timer;
    timer.start();
    const WavFile::Conversion result =
        WavFile::convertToPcm16(path, copy, [this, ticket] { return !isCurrent(ticket); });
    switch (result.outcome) {
    case WavFile::Outcome::Cancelled:
        return {};
    case WavFile::Outcome::Failed:
        Q_EMIT failed(ticket, path, QStringLiteral("cannot convert: %1").arg(result.error));
        return {};
    case WavFile::Outcome::Done:
        break;
    }
    qCDebug(lcCanberra) << "converted" << path << "in" << timer.elapsed() << "ms";
    const QString previous = m_cached.value(source.absoluteFilePath());
    if (!previous.isEmpty() && previous != copy)
        QFile::remove(previous);
    m_cached.insert(source.absoluteFilePath(), copy);
    return copy;
}

void CanberraWorker::onFinished(quint32 id, int error)
{
    if (id != m_playing.id)
        return;
    const Playing playing = std::exchange(m_playing, {});
    Q_EMIT failed(
        playing.ticket, playing.path,
        QStringLiteral("playback broke off: %1").arg(QString::fromUtf8(ca_strerror(error))));
}

// Runs on canberra's thread, or inside ca_context_cancel/destroy on ours.
void CanberraWorker::finishCallback(ca_context *, quint32 id, int error, void *self)
{
    if (error == CA_SUCCESS || error == CA_ERROR_CANCELED || error == CA_ERROR_DESTROYED)
        return;
    // The worker outlives its context, whose destruction ends all callbacks.
    auto *worker = static_cast<CanberraWorker *>(self);
    QMetaObject::invokeMethod(
        worker, [worker, id, error] { worker->onFinished(id, error); }, Qt::QueuedConnection);
}
