#include "ui/main/frmSplash.h"

#include "ui/kit/ClickLabel.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include <chrono>
#include <cmath>

namespace qvl::ui {

namespace {

// The logo: 264 x 40 pixels, the name on a blue band.
QPixmap logo() {
    QPixmap pixmap(264, 40);
    QPainter p(&pixmap);
    QLinearGradient band(0, 0, 264, 0);
    band.setColorAt(0, QColor(0, 0, 64));
    band.setColorAt(1, QColor(74, 94, 159));
    p.fillRect(pixmap.rect(), band);
    p.setPen(QColor(128, 255, 255));
    p.setFont(makeFont("Tahoma", 18));
    p.drawText(pixmap.rect(), Qt::AlignCenter, "Quorvel");
    return pixmap;
}

} // namespace

frmSplash::frmSplash()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("frmSplash");
    setWindowTitle("Splash (easter egg #1)");
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
    lblEgg1 = new ClickLabel("Egg #1, Press ESC to stop.", this);
    lblEgg1->setObjectName("lblEgg1");
    lblEgg1->setGeometry(pxRect(240, 120, 3135, 375));
    lblEgg1->setFont(makeFont("Comic Sans MS", 8.25, false));
    setTextColor(lblEgg1, palette().color(QPalette::Inactive, QPalette::Dark));
    lbl1 = new QLabel(this);
    lbl1->setObjectName("lbl1");
    lbl1->setPixmap(logo());
    lbl1->setGeometry(px(600), px(720), 264, 40);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    connect(lblEgg1, &ClickLabel::doubleClicked, this, [this] {
        targetX = 1;
        targetY = 1;
    });

    // The load.
    QScreen* screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
    curX = targetX = 600;
    curY = targetY = 720;
    m_random.seed(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    Timer1->start();
}

void frmSplash::moveXY(int32_t steps) {
    for (int32_t i = 0; i < steps; ++i) {
        for (auto [cur, target] : {std::pair{&curX, targetX}, std::pair{&curY, targetY}}) {
            if (*cur > target)
                --*cur;
            if (*cur < target)
                ++*cur;
        }
    }
}

void frmSplash::SetXY() {
    lbl1->move(px(curX), px(curY));
    QCoreApplication::processEvents();
}

void frmSplash::Timer1_Timer() {
    if (targetX == curX && targetY == curY) {
        m_random.seed(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::uniform_real_distribution<double> r(0.0, 1.0);
        targetX = static_cast<int32_t>(std::nearbyint(width() * kTwipsPerPixel * r(m_random)));
        targetY = static_cast<int32_t>(std::nearbyint(height() * kTwipsPerPixel * r(m_random)));
    }
    SetXY();
    moveXY(32);
    QCoreApplication::processEvents();
}

void frmSplash::mousePressEvent(QMouseEvent*) {
    close();
}

void frmSplash::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyReleaseEvent(event);
}

} // namespace qvl::ui
