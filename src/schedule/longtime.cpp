#include "longtime.h"

QString longTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        result += c;
    }
    result = result.simplified();
    // A locale whose long format lacks seconds would make the clock and the target compare
    // coarser than a second; fall back to an unambiguous form.
    if (!result.contains(u's') || !result.contains(u'm'))
        return timeOfDayFormat;
    return result;
}

QString longTimeString(QTime time, const QLocale &locale)
{
    return locale.toString(time, longTimeFormat(locale));
}
