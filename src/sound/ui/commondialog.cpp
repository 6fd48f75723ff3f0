#include "commondialog.h"

#include "filechooser.h"

#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

CommonDialog::CommonDialog(FileChooser &chooser, QWidget *owner)
    : QObject(owner), m_chooser(chooser), m_owner(owner)
{
}

void CommonDialog::ShowOpen()
{
    m_fileName = m_chooser.getOpenFileName(m_owner, toQtFilter(m_filter));
}

QString CommonDialog::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        description.remove(trailingPatterns);
        QStringList patterns;
        for (const QString &pattern : parts.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty())
                patterns << trimmed;
        }
        if (!patterns.isEmpty())
            entries << QStringLiteral("%1 (%2)").arg(description.trimmed(), patterns.join(u' '));
    }
    return entries.join(QStringLiteral(";;"));
}
