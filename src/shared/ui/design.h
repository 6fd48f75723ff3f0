#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QStringList>
#include <QWidget>

// What the main window and the About window share of their design.
namespace Design {

// Design sizes are in twips: 15 to a pixel at 96 dpi; Qt scales pixels for other densities.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

constexpr QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

inline const QColor windowColour{213, 222, 242}; // &H00F2DED5&
inline const QColor frameColour{192, 192, 255};  // &H00FFC0C0&
inline const QColor linkColour{0, 0, 192};       // &H00C00000&

// "宋体" (and the Song faces that stand in for it) at the given size, normal weight.
inline QFont songti(qreal points, bool underline = false)
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setUnderline(underline);
    return font;
}

inline QFont kaiti(qreal points)
{
    QFont font = songti(points);
    font.setFamilies({QStringLiteral("楷体_GB2312"), QStringLiteral("SimSun"),
                      QStringLiteral("WenQuanYi Zen Hei")});
    return font;
}

// A background of its own colour for a control (or, by role, for its text field).
inline void fillBackground(QWidget *w, const QColor &colour,
                           QPalette::ColorRole role = QPalette::Window)
{
    QPalette pal = w->palette();
    pal.setColor(role, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace Design
