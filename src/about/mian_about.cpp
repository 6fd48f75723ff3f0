#include "app/mian.h"

#include "about/aboutwindow.h"

void Mian::Commanda4_Click()
{
    AboutWindow about(m_services.urlOpener, this);
    about.exec();
}
