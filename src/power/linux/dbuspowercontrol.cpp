#include "dbuspowercontrol.h"

#include <QTimer>

void DBusPowerControl::request(PowerAction action)
{
    QTimer::singleShot(0, this, [this, action] {
        Q_EMIT requestFinished(action, false, QStringLiteral("not implemented"));
    });
}

std::unique_ptr<PowerControl> createPowerControl(QObject *parent)
{
    return std::make_unique<DBusPowerControl>(parent);
}
