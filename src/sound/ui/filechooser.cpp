#include "filechooser.h"

#include <QFileDialog>

QString QtFileChooser::getOpenFileName(QWidget *parent, const QString &qtFilter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter);
}
