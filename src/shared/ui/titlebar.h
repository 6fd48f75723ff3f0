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

    // Gives the window the fixed size of its design's client area, below a title bar of our
    // own where `own` (the window then goes frameless). Returns the client area's top.
    static int fit(QWidget *window, QSize client, Button buttons, bool own);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
