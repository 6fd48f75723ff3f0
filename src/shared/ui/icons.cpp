#include "icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <functional>

namespace {
using Painter = std::function<void(QPainter &, qreal size)>;

// Painted at whatever size is asked for, when it is asked for: no pixmaps kept for sizes that
// nobody shows.
class DrawnIconEngine final : public QIconEngine
{
public:
    explicit DrawnIconEngine(Painter paint) : m_paint(std::move(paint)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        if (mode != QIcon::Normal) {
            const qreal ratio = painter->device()->devicePixelRatioF();
            painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
            return;
        }
        draw(*painter, rect);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        draw(painter, pixmap.rect());
        painter.end();
        if (mode == QIcon::Normal)
            return pixmap;
        // Greyed out (or highlighted) the way the style does it for any other icon.
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
    }
    // What the window system and tray hosts pick from; each is drawn when asked for.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes << QSize(side, side);
        return sizes;
    }
    QIconEngine *clone() const override { return new DrawnIconEngine(m_paint); }

private:
    void draw(QPainter &painter, const QRect &rect) const
    {
        const qreal size = qMin(rect.width(), rect.height());
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(rect.center() - QPointF(size, size) / 2);
        m_paint(painter, size);
        painter.restore();
    }

    Painter m_paint;
};

QIcon drawn(const Painter &paint)
{
    return QIcon(new DrawnIconEngine(paint));
}
} // namespace

namespace Icons {

// A clock face with a power mark: a timer that switches the computer off.
QIcon window()
{
    return drawn([](QPainter &p, qreal s) {
        const QRectF face(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
        p.setPen(QPen(QColor(24, 64, 140), s * 0.07));
        p.setBrush(QColor(66, 133, 230));
        p.drawEllipse(face);
        p.setBrush(QColor(245, 248, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(face.adjusted(s * 0.1, s * 0.1, -s * 0.1, -s * 0.1));
        const QPointF c = face.center();
        p.setPen(QPen(QColor(24, 64, 140), s * 0.09, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c, c + QPointF(0, -s * 0.27));
        p.drawLine(c, c + QPointF(s * 0.2, 0));
        p.setPen(QPen(QColor(210, 40, 40), s * 0.08, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF mark(c.x() - s * 0.14, c.y() + s * 0.08, s * 0.28, s * 0.28);
        p.drawArc(mark, 60 * 16, -300 * 16);
    });
}

QIcon play()
{
    return drawn([](QPainter &p, qreal s) {
        QPainterPath triangle;
        triangle.moveTo(s * 0.22, s * 0.12);
        triangle.lineTo(s * 0.88, s * 0.5);
        triangle.lineTo(s * 0.22, s * 0.88);
        triangle.closeSubpath();
        p.setPen(QPen(QColor(20, 110, 30), s * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(40, 180, 60));
        p.drawPath(triangle);
    });
}

QIcon globe()
{
    return drawn([](QPainter &p, qreal s) {
        const QRectF r(s * 0.08, s * 0.08, s * 0.84, s * 0.84);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 140, 220));
        p.drawEllipse(r);
        p.setPen(QPen(QColor(235, 245, 255), qMax(1.0, s * 0.06)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(r.adjusted(r.width() * 0.3, 0, -r.width() * 0.3, 0));
        p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
        p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        const qreal band = r.height() * 0.25;
        p.drawLine(QPointF(r.left() + s * 0.08, r.top() + band),
                   QPointF(r.right() - s * 0.08, r.top() + band));
        p.drawLine(QPointF(r.left() + s * 0.08, r.bottom() - band),
                   QPointF(r.right() - s * 0.08, r.bottom() - band));
        p.setPen(QPen(QColor(20, 70, 130), qMax(1.0, s * 0.05)));
        p.drawEllipse(r);
    });
}

} // namespace Icons
