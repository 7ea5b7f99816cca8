#include "ui/kit/Shape.h"

#include <QPainter>

namespace qvl::ui {

Shape::Shape(QWidget* parent, QColor border)
    : QWidget(parent)
    , m_border(border) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void Shape::setBorderWidth(int width) {
    m_borderWidth = width;
    update();
}

void Shape::setFill(QColor color) {
    m_fill = color;
    update();
}

void Shape::setCircle(bool circle) {
    m_circle = circle;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_circle)
        painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(m_borderWidth > 0 ? QPen(m_border, m_borderWidth) : QPen(Qt::NoPen));
    painter.setBrush(m_fill.isValid() ? QBrush(m_fill) : QBrush(Qt::NoBrush));
    qreal inset = m_borderWidth / 2.0;
    QRectF r = QRectF(rect()).adjusted(inset, inset, -inset - 0.5, -inset - 0.5);
    if (m_circle)
        painter.drawEllipse(r);
    else
        painter.drawRect(r);
}

} // namespace qvl::ui
