#pragma once

#include <QWidget>

// A title bar the window draws itself where the window system leaves it to the program: the
// icon, the title, and only the buttons the window has (close, and minimise if asked for).
// Dragging it moves the window.
class TitleBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int height = 28;
    enum class Button { Close, Minimise };

    // Spans the top of the window, which it takes as its parent.
    TitleBar(QWidget *window, Button buttons);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
