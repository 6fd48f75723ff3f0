#include "aboutwindow.h"

#include "app/version.h"
#include "shared/ui/design.h"
#include "shared/ui/titlebar.h"
#include "urlopener.h"

#include <QFrame>
#include <QMouseEvent>
#include <QUrl>

using Design::px;
using Design::songti;

namespace {
const QString makerName = QStringLiteral("Quorvel");
} // namespace

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

AboutWindow::AboutWindow(UrlOpener &urlOpener, QWidget *parent, bool ownTitleBar)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_urlOpener(urlOpener)
{
    setObjectName(QStringLiteral("Formabout"));
    setWindowTitle(QStringLiteral("关于"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    // Tall enough for the whole version line (its bottom lies at 2130 twips).
    const int top =
        TitleBar::fit(this, QSize(px(5070), px(2220)), TitleBar::Button::Close, ownTitleBar);
    Design::fillBackground(this, Design::windowColour);

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    Design::fillBackground(frame, Design::frameColour);
    frame->setGeometry(0, top, px(5055), px(2295));

    auto label = [frame](QLabel *l, const char *name, const QString &text, int left, int top,
                         int width, int height, const QFont &font, bool autoSize = true) {
        l->setParent(frame);
        l->setObjectName(QLatin1String(name));
        l->setText(text);
        l->setFont(font);
        l->setGeometry(Design::twips(left, top, width, height));
        if (autoSize)
            l->adjustSize();
        return l;
    };

    label(new QLabel, "sysLabelbiaoti", makerName + QStringLiteral(" 版权所有"), 1320, 240, 2280,
          240, songti(12));
    QLabel *blog = label(new QLabel, "sysLabelblog", makerName + QStringLiteral("博客"), 120, 840,
                         1470, 210, songti(10.5));
    auto *web = new LinkLabel;
    label(web, "Label10", webPage, 1680, 840, 3255, 195, songti(9.75, true));
    web->setToolTip(blog->text());
    QLabel *mail = label(new QLabel, "sysLabelmail", makerName + QStringLiteral("邮箱"), 120, 1200,
                         1470, 210, songti(10.5));
    mail->setToolTip(mail->text());
    auto *address = new LinkLabel;
    label(address, "Label11", mailAddress, 1680, 1200, 1995, 195, songti(9.75, true));
    address->setToolTip(mail->text());
    label(new QLabel, "sysLabelchat", makerName + QStringLiteral("在线咨询："), 120, 1560, 1695,
          255, songti(10.5), false);
    label(new QLabel, "sysLabelqq", QStringLiteral("10000"), 1920, 1560, 810, 180, QFont());
    label(new QLabel, "sysLabelo",
          QStringLiteral("版本：%1         发布日期：2009.9").arg(Version::number), 600, 1920, 3780,
          210, songti(10.5));

    for (LinkLabel *link : {web, address}) {
        QPalette pal = link->palette();
        pal.setColor(QPalette::WindowText, Design::linkColour);
        link->setPalette(pal);
        link->setCursor(Qt::PointingHandCursor);
    }
    connect(web, &LinkLabel::clicked, this, &AboutWindow::Label10_Click);
    connect(address, &LinkLabel::clicked, this, &AboutWindow::Label11_Click);
}

void AboutWindow::Label10_Click()
{
    m_urlOpener.openUrl(QUrl(webPage));
}

void AboutWindow::Label11_Click()
{
    m_urlOpener.openUrl(QUrl(QStringLiteral("mailto:") + mailAddress));
}
