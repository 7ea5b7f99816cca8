#pragma once
// A label that reports clicks and double-clicks, for picture and link labels.

#include <QLabel>
#include <QMouseEvent>

namespace qvl::ui {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
        QLabel::mouseReleaseEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            emit doubleClicked();
        QLabel::mouseDoubleClickEvent(event);
    }
};

} // namespace qvl::ui
