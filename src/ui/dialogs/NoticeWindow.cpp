#include "ui/dialogs/NoticeWindow.h"

#include "ui/kit/ARGradient.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"

#include <QCloseEvent>

namespace qvl::ui {

NoticeWindow::NoticeWindow(DialogState& state, const char* name, QSize size, uint32_t stripEnd,
                           QColor line1Color)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName(name);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(size);
    const int w = size.width(), h = size.height();

    m_frame = new Shape(this, QColor(128, 128, 128));
    m_frame->setGeometry(0, 0, w, h);

    ARGradient1 = new ARGradient(this);
    ARGradient1->setObjectName("ARGradient1");
    ARGradient1->setGeometry(0, 0, w, 17);
    ARGradient1->setColor(static_cast<int>(bgr(64, 64, 64)));
    ARGradient1->setFinColor(static_cast<int>(stripEnd));
    ARGradient1->setMoveform(true);

    lblTitle = makeLabel(ARGradient1, "lblTitle", "", QRect(4, 1, w - 40, 15), makeFont("Tahoma", 8.25),
                         QColor(255, 255, 192));

    cmdClose = new QPushButton("X", this);
    cmdClose->setObjectName("cmdClose");
    cmdClose->setGeometry(w - 20, 1, 18, 15);
    cmdClose->setFont(makeFont("Tahoma", 7));
    cmdClose->setFocusPolicy(Qt::NoFocus);

    m_line1Top = 24;
    lblmsg1 = makeLabel(this, "lblmsg1", "", QRect(4, m_line1Top, w - 8, 28), makeFont("Arial", 14.25),
                        line1Color, Qt::AlignCenter);
    lblmsg2 = makeLabel(this, "lblmsg2", "", QRect(4, 56, w - 8, 20), makeFont("Arial", 8.25),
                        QColor(64, 0, 0), Qt::AlignCenter);

    cmdMsgOk = new QPushButton("&Ok", this);
    cmdMsgOk->setObjectName("cmdMsgOk");
    cmdMsgOk->setGeometry((w - 65) / 2, h - 31, 65, 25);
    cmdMsgOk->setToolTip("Close This Window");
    cmdMsgOk->setDefault(true);
}

void NoticeWindow::setLines(const QString& line1, const QString& line2) {
    lblmsg1->setText(line1);
    lblmsg2->setText(line2);
    lblmsg1->move(lblmsg1->x(), m_line1Top + (line2.isEmpty() ? 20 : 0));
    fitText(lblmsg1);
    fitText(lblmsg2);
}

void NoticeWindow::closeEvent(QCloseEvent* event) {
    m_state.MessageWaiting = 0; // a waiting caller is released however the window closes
    QWidget::closeEvent(event);
}

} // namespace qvl::ui
