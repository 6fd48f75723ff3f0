#pragma once

#include <QObject>

#include <memory>

#include "poweraction.h"

// Asks the system to power off, restart or log off. The request returns at once; the outcome
// arrives later as requestFinished on the caller's thread. Never forces other programs to quit.
class PowerControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void request(PowerAction action) = 0;

Q_SIGNALS:
    // reason is a short readable text when ok is false.
    void requestFinished(PowerAction action, bool ok, const QString &reason);
};

// The platform's backend; defined once per platform in power/<os>/.
std::unique_ptr<PowerControl> createPowerControl();
