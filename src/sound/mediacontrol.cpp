#include "mediacontrol.h"

#include "soundoutput.h"

MediaControl::MediaControl(SoundOutput &output, QObject *parent) : QObject(parent), m_output(output)
{
}

void MediaControl::prepare()
{
    if (m_prepared)
        return;
    m_prepared = true;
    m_output.prepare();
}

void MediaControl::close()
{
    m_output.stop();
    m_fileName.clear();
}

void MediaControl::open(const QString &fileName)
{
    m_fileName = fileName;
}

void MediaControl::play()
{
    m_output.play(m_fileName);
}
