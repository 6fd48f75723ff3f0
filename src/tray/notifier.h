#pragma once

#include <QObject>
#include <QString>

#include <memory>

// The desktop's notifications, one of ours at a time: a new one replaces the one before.
class Notifier : public QObject
{
    Q_OBJECT

public:
    // Warning: critical, with the actions "停止" and "推迟 10 分钟"; Notice: normal, no action.
    enum class Kind { Warning, Notice };

    using QObject::QObject;

    // The warning's action that puts the power action off, also offered in the tray menu where
    // notifications carry no actions.
    static inline const QString postponeCaption = QStringLiteral("推迟 10 分钟");

    // Returns at once; the outcome arrives as signals.
    virtual void show(const QString &text, Kind kind) = 0;
    // Withdraws what was shown, if anything.
    virtual void withdraw() = 0;

Q_SIGNALS:
    void stopRequested();
    void postponeRequested();
    // The text could not be shown as asked (no service, no actions for a warning, an error, no
    // answer in time), so it is to be shown some other way.
    void notShown(const QString &text);
};

// Defined once per OS in tray/<os>/.
std::unique_ptr<Notifier> createNotifier();
