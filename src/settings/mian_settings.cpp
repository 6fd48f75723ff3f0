// Applying the stored settings to the main window, and the two switches that store them.

#include "app/mian.h"

#include "app/xpcontrols.h"
#include "settings/moduleini.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {
const QString soundSection = QStringLiteral("sound");
const QString soundKey = QStringLiteral("ifsound");
const QString tipsSection = QStringLiteral("Tips");
const QString tipsKey = QStringLiteral("ifTips");
const QString pathSection = QStringLiteral("soundpath");
const QString pathKey = QStringLiteral("spath");
} // namespace

void Mian::sysini()
{
    Moduleini &ini = m_services.settings;
    // Setting the boxes from the file is not a change to store again.
    const QSignalBlocker soundBlocker(XPCheckBox1);
    const QSignalBlocker tipsBlocker(XPCheckBox2);
    // Two separate tests: a stored value other than 1 and 0 leaves the design state.
    const int ifsound = ini.iniint(soundSection, soundKey);
    if (ifsound == 1) {
        XPCheckBox1->setValue(-1);
        Commanda5->setEnabled(true);
        Textsound->setEnabled(true);
        Commandopen->setEnabled(true);
    }
    if (ifsound == 0) {
        XPCheckBox1->setValue(0);
        Commanda5->setEnabled(false);
        Textsound->setEnabled(false);
        Commandopen->setEnabled(false);
    }
    const int ifTips = ini.iniint(tipsSection, tipsKey);
    if (ifTips == 1) {
        XPCheckBox2->setValue(-1);
        Combotishi->setEnabled(true);
    }
    if (ifTips == 0) {
        XPCheckBox2->setValue(0);
        Combotishi->setEnabled(false);
    }
    Textsound->setText(ini.iniread(pathSection, pathKey, ini.settingsPath()));
}

void Mian::XPCheckBox1_Click()
{
    if (XPCheckBox1->Value() == -1) {
        Commanda5->setEnabled(true);
        Textsound->setEnabled(true);
        Commandopen->setEnabled(true);
        m_services.settings.iniwrite(soundSection, soundKey, QStringLiteral("1"));
    }
    if (XPCheckBox1->Value() == 0) {
        Commanda5->setEnabled(false);
        Textsound->setEnabled(false);
        Commandopen->setEnabled(false);
        m_services.settings.iniwrite(soundSection, soundKey, QStringLiteral("0"));
    }
}

void Mian::XPCheckBox2_Click()
{
    if (XPCheckBox2->Value() == -1) {
        Combotishi->setEnabled(true);
        Combotishi->setCurrentIndex(-1); // raises Combotishi_Click, which empties tipmins
        m_services.settings.iniwrite(tipsSection, tipsKey, QStringLiteral("1"));
    }
    if (XPCheckBox2->Value() == 0) {
        Combotishi->setEnabled(false);
        m_services.settings.iniwrite(tipsSection, tipsKey, QStringLiteral("0"));
    }
}
