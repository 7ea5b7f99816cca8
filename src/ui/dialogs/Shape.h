#pragma once
// A drawn rectangle outline, such as a borderless window's border; it takes no input.

#include <QColor>
#include <QWidget>

namespace qvl::ui {

class Shape : public QWidget {
    Q_OBJECT
public:
    explicit Shape(QWidget* parent = nullptr, QColor border = Qt::black);
    void setBorderColor(QColor color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_border;
};

} // namespace qvl::ui
