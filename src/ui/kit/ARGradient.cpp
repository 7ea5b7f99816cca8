#include "ui/kit/ARGradient.h"

#include "ui/kit/Twips.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

namespace qvl::ui {

ARGradient::ARGradient(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ARGradient::setColor(int bgr) {
    m_color = static_cast<uint32_t>(bgr) & 0xFFFFFF;
    update();
}

void ARGradient::setFinColor(int bgr) {
    m_finColor = static_cast<uint32_t>(bgr) & 0xFFFFFF;
    update();
}

void ARGradient::setOrientation(int value) {
    m_orientation = value;
    update();
}

void ARGradient::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPointF end = m_orientation == 3   ? QPointF(0, height())
                  : m_orientation == 4 ? QPointF(width(), height())
                                       : QPointF(width(), 0);
    QLinearGradient gradient(QPointF(0, 0), end);
    gradient.setColorAt(0, colorFromBgr(m_color));
    gradient.setColorAt(1, colorFromBgr(m_finColor));
    painter.fillRect(rect(), gradient);
}

void ARGradient::mousePressEvent(QMouseEvent* event) {
    emit mouseDown(static_cast<int>(event->button()), static_cast<int>(event->modifiers()),
                   static_cast<int>(event->position().x() * kTwipsPerPixel),
                   static_cast<int>(event->position().y() * kTwipsPerPixel));
    if (m_moveform && event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_pressGlobal = event->globalPosition().toPoint();
        m_windowStart = window()->pos();
    }
}

void ARGradient::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging)
        window()->move(m_windowStart + event->globalPosition().toPoint() - m_pressGlobal);
    emit mouseMoved(static_cast<int>(event->buttons()), static_cast<int>(event->modifiers()),
                    static_cast<int>(event->position().x() * kTwipsPerPixel),
                    static_cast<int>(event->position().y() * kTwipsPerPixel));
}

void ARGradient::mouseReleaseEvent(QMouseEvent* event) {
    bool wasDrag = m_dragging && event->globalPosition().toPoint() != m_pressGlobal;
    m_dragging = false;
    if (!wasDrag && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace qvl::ui
