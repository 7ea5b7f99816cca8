#include "ui/dialogs/Shape.h"

#include <QPainter>

namespace qvl::ui {

Shape::Shape(QWidget* parent, QColor border)
    : QWidget(parent)
    , m_border(border) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void Shape::setBorderColor(QColor color) {
    m_border = color;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(m_border);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace qvl::ui
