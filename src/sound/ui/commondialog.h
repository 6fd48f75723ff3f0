#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class FileChooser;
class QWidget;

// The open-file dialog of the window, with its filter in the "description|pattern|" form
// the settings keep.
class CommonDialog : public QObject
{
    Q_OBJECT

public:
    CommonDialog(FileChooser &chooser, QWidget *owner);

    void setFilter(const QString &filter) { m_filter = filter; }
    QString fileName() const { return m_fileName; }

    // Shows the dialog; FileName is the chosen file afterwards, empty when cancelled.
    void ShowOpen();

    // "音乐文件 (*.wav)| *.wav|" -> "音乐文件 (*.wav)": the filter as a Qt file dialog takes it.
    static QString toQtFilter(const QString &filter);

private:
    FileChooser &m_chooser;
    QPointer<QWidget> m_owner;
    QString m_filter;
    QString m_fileName;
};
