#include "titlebar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

TitleBar::TitleBar(QWidget *window, Button buttons) : QWidget(window)
{
    setObjectName(QStringLiteral("titleBar"));
    setAutoFillBackground(true);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 4, 2);
    auto *icon = new QLabel;
    icon->setPixmap(window->windowIcon().pixmap(20, 20));
    row->addWidget(icon);
    auto *title = new QLabel(window->windowTitle());
    title->setAlignment(Qt::AlignCenter);
    row->addWidget(title, 1);
    const auto button = [&](QStyle::StandardPixmap pixmap, const QString &name) {
        auto *b = new QToolButton;
        b->setIcon(style()->standardIcon(pixmap));
        b->setAutoRaise(true);
        b->setAccessibleName(name);
        b->setFocusPolicy(Qt::NoFocus);
        row->addWidget(b);
        return b;
    };
    if (buttons == Button::Minimise)
        connect(button(QStyle::SP_TitleBarMinButton, QStringLiteral("最小化")),
                &QToolButton::clicked, window,
                [window] { window->setWindowState(window->windowState() | Qt::WindowMinimized); });
    connect(button(QStyle::SP_TitleBarCloseButton, QStringLiteral("关闭")), &QToolButton::clicked,
            window, &QWidget::close);
    setGeometry(0, 0, window->width(), height);
}

int TitleBar::fit(QWidget *window, QSize client, Button buttons, bool own)
{
    if (!own) {
        window->setFixedSize(client);
        return 0;
    }
    // Qt drops "frameless" when button hints come with it.
    window->setWindowFlags(window->windowType() | Qt::FramelessWindowHint);
    window->setFixedSize(client.width(), client.height() + height);
    new TitleBar(window, buttons);
    return height;
}

void TitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
}
