#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// Hours, minutes and seconds, the same in every locale: for requests, status and odd locales.
inline const QString timeOfDayFormat = QStringLiteral("HH:mm:ss");

// The user's long time format (hours, minutes and seconds) without the time-zone part Qt adds.
QString longTimeFormat(const QLocale &locale = QLocale());
QString longTimeString(QTime time, const QLocale &locale = QLocale());
