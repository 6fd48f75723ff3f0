#pragma once

#include <QString>

class QWidget;

// The open-file dialog, replaceable so tests need no real dialog.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // Returns the chosen file, or an empty string when the user cancelled.
    virtual QString getOpenFileName(QWidget *parent, const QString &qtFilter) = 0;
};

class QtFileChooser final : public FileChooser
{
public:
    QString getOpenFileName(QWidget *parent, const QString &qtFilter) override;
};
