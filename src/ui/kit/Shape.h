#pragma once
// A drawn rectangle or circle, outlined and optionally filled, such as a borderless
// window's border or a coloured marker; it takes no input.

#include <QColor>
#include <QWidget>

namespace qvl::ui {

class Shape : public QWidget {
    Q_OBJECT
    // The fill as an integer with red in the low byte, for callers that do arithmetic on
    // it; negative for no fill, so that arithmetic on it keeps a see-through shape so.
    Q_PROPERTY(int FillColor READ fillColor WRITE setFillColor)
public:
    explicit Shape(QWidget* parent = nullptr, QColor border = Qt::black);
    void setBorderWidth(int width);
    // An invalid colour leaves the inside see-through.
    void setFill(QColor color);
    QColor fill() const { return m_fill; }
    int fillColor() const {
        return m_fill.isValid() ? m_fill.red() | (m_fill.green() << 8) | (m_fill.blue() << 16) : -1;
    }
    void setFillColor(int bgr) {
        setFill(bgr < 0 ? QColor() : QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    }
    void setCircle(bool circle);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_border, m_fill;
    int m_borderWidth = 1;
    bool m_circle = false;
};

} // namespace qvl::ui
