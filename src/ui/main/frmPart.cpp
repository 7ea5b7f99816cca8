#include "ui/main/frmPart.h"

#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/mdlLayeredWindow.h"

namespace qvl::ui {

frmPart::frmPart(const SettingsState& state, int number, QWidget* main, int sectionTop)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    , m_main(main)
    , m_sectionTop(sectionTop) {
    setObjectName(QString("frmPart%1").arg(number));
    setWindowTitle(QString("Part %1").arg(number));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(number == 1 ? QSize(px(840), px(1410)) : QSize(px(825), px(1395)));
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(128, 128, 128));
    setPalette(p);
    setAutoFillBackground(true);
    makeLabel(this, number == 1 ? "lblPart1" : "lblPart2", QString::number(number),
              pxRect(0, -240, number == 1 ? 975 : 735, 1455), makeFont("Tahoma", 72, false),
              QColor(0, 255, 0), Qt::AlignCenter);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmPart::SetForm);
    if (number == 1)
        SetTransparency(state.VisualEffects, this, 80, false);
    SetForm();
    if (number == 2)
        SetTransparency(state.VisualEffects, this, 80, false);
    Timer1->start();
}

void frmPart::SetForm() {
    move(m_main->x() - width(), m_main->y() + px(m_sectionTop + 500));
}

} // namespace qvl::ui
