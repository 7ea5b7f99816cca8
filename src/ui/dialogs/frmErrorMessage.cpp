#include "ui/dialogs/frmErrorMessage.h"

#include "ui/kit/Twips.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace qvl::ui {

frmErrorMessage::frmErrorMessage(DialogState& state)
    : NoticeWindow(state, "frmErrorMessage", QSize(324, 116), bgr(255, 0, 0), QColor(128, 0, 0)) {
    connect(cmdMsgOk, &QPushButton::clicked, this, &frmErrorMessage::cmdMsgOk_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    SetTransparency(state.VisualEffects, this, 90, false);
}

void frmErrorMessage::cmdMsgOk_Click() {
    QCoreApplication::processEvents();
    cmdMsgOk->hide();
    m_state.MessageWaiting = 0;
    FadeOut(m_state.VisualEffects, this, 90, false);
    close();
}

void frmErrorMessage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F12)
        close();
    else
        NoticeWindow::keyPressEvent(event);
}

} // namespace qvl::ui
