#include "settings/moduleini.h"

#include <QCoreApplication>
#include <QStandardPaths>

Moduleini programSettings()
{
    return Moduleini(QCoreApplication::applicationDirPath(),
                     QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}
