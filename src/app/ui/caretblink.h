#pragma once

#include <QObject>
#include <QTimer>

// The text caret stops blinking some seconds after the last key press or click and stays on,
// as GTK desktops do (their cursor-blink-timeout), so that a window left open does not redraw
// twice a second for nobody. The next key press or click makes it blink again.
class CaretBlink : public QObject
{
    Q_OBJECT

public:
    explicit CaretBlink(int timeoutMs = 10'000);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void blink(bool on);

    int m_flashTime;
    QTimer m_timeout;
};
