#pragma once
// The splash: a full-screen black window on which the logo glides toward random points,
// 32 twips per axis per tick, until a click or Escape closes it.

#include "ui/UiState.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <random>

namespace qvl::ui {

class ClickLabel;

class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash();
    // Steps the current point toward the target, `steps` times per axis.
    void moveXY(int32_t steps);
    void SetXY();

    int32_t curX = 0, curY = 0, targetX = 0, targetY = 0; // twips
    ClickLabel* lblEgg1;
    QLabel* lbl1;
    QTimer* Timer1;

public slots:
    void Timer1_Timer();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    std::mt19937 m_random;
};

} // namespace qvl::ui
