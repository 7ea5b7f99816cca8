#pragma once
// The gradient panel every window draws its title strip and bands with. A container:
// labels and buttons placed on it are drawn above the gradient. With `moveform` on, a
// left-button drag that starts on it moves the top-level window that holds it.

#include <QPoint>
#include <QWidget>

#include <cstdint>

namespace qvl::ui {

class ARGradient : public QWidget {
    Q_OBJECT
    // Colours as integers with red in the low byte, as callers do arithmetic on them.
    Q_PROPERTY(int Color READ color WRITE setColor)
    Q_PROPERTY(int FinColor READ finColor WRITE setFinColor)
    // 2: left to right, 3: top to bottom, 4: top-left to bottom-right; other values as 2.
    Q_PROPERTY(int orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(bool moveform READ moveform WRITE setMoveform)

public:
    explicit ARGradient(QWidget* parent = nullptr);

    int color() const { return static_cast<int>(m_color); }
    void setColor(int bgr);
    int finColor() const { return static_cast<int>(m_finColor); }
    void setFinColor(int bgr);
    int orientation() const { return m_orientation; }
    void setOrientation(int value);
    bool moveform() const { return m_moveform; }
    void setMoveform(bool on) { m_moveform = on; }

signals:
    void clicked();
    // Positions in twips relative to the panel; `buttons` as Qt::MouseButtons.
    void mouseDown(int buttons, int modifiers, int x, int y);
    void mouseMoved(int buttons, int modifiers, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    uint32_t m_color = 0x808080, m_finColor = 0;
    int m_orientation = 2;
    bool m_moveform = false;
    bool m_dragging = false;
    QPoint m_pressGlobal, m_windowStart;
};

} // namespace qvl::ui
