#include "tray/notifier.h"

#include <QMetaObject>

namespace {
// Windows shows a tray icon's balloon as a notification of its own: every text goes there.
class BalloonNotifier final : public Notifier
{
public:
    using Notifier::Notifier;
    void show(const QString &text, Kind) override
    {
        QMetaObject::invokeMethod(
            this, [this, text] { Q_EMIT notShown(text); }, Qt::QueuedConnection);
    }
    void withdraw() override {}
};
} // namespace

std::unique_ptr<Notifier> createNotifier()
{
    return std::make_unique<BalloonNotifier>();
}
