#include "caretblink.h"

#include <QApplication>
#include <QEvent>
#include <QStyleHints>

CaretBlink::CaretBlink(int timeoutMs)
    : m_flashTime(QGuiApplication::styleHints()->cursorFlashTime())
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] { blink(false); });
    m_timeout.start();
    qApp->installEventFilter(this);
}

bool CaretBlink::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
        blink(true);
        m_timeout.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CaretBlink::blink(bool on)
{
    // 0 turns blinking off with the caret shown; editors follow the change at once.
    QGuiApplication::styleHints()->setCursorFlashTime(on ? m_flashTime : 0);
}
