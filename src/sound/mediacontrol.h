#pragma once

#include <QObject>
#include <QString>

class SoundOutput;

// The window's invisible player: "CLOSE" ends what plays, "open" takes a file, "play" starts
// it from the beginning.
class MediaControl : public QObject
{
    Q_OBJECT

public:
    MediaControl(SoundOutput &output, QObject *parent);

    void prepare();
    void close();
    void open(const QString &fileName);
    void play();

private:
    SoundOutput &m_output;
    QString m_fileName;
    bool m_prepared = false;
};
