#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The user's long time format (hours, minutes and seconds) without the time-zone part Qt adds.
QString longTimeFormat(const QLocale &locale = QLocale());
QString longTimeString(QTime time, const QLocale &locale = QLocale());
