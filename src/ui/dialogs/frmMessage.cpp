#include "ui/dialogs/frmMessage.h"

#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace qvl::ui {

frmMessage::frmMessage(DialogState& state)
    : NoticeWindow(state, "frmMessage", QSize(325, 117), bgr(74, 94, 159), QColor(0, 0, 64)) {
    lblPanic = new ClickLabel("PANIC!", this);
    lblPanic->setObjectName("lblPanic");
    lblPanic->setGeometry(width() - 40, 18, 38, 11);
    lblPanic->setFont(makeFont("Comic Sans MS", 6));
    setTextColor(lblPanic, QColor(224, 224, 224));
    lblPanic->setToolTip("In case of a problem, double clicking \"PANIC\" will exit the program at once.");

    msgTimer = new QTimer(this);
    msgTimer->setObjectName("msgTimer");
    msgTimer->setInterval(1000);

    connect(msgTimer, &QTimer::timeout, this, &frmMessage::msgTimer_Timer);
    connect(cmdMsgOk, &QPushButton::clicked, this, &frmMessage::cmdMsgOk_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(lblPanic, &ClickLabel::doubleClicked, this, [this] { m_state.endProgramNow(); });
}

void frmMessage::Form_Activate() {
    m_state.TransparencyWorks = SetTransparency(m_state.VisualEffects, this, 90, false) == 0;
    lblTitle->setText("Quorvel");
    SecondsShown = 0;
    if (m_state.MessageTimeout > 0)
        msgTimer->start();
}

void frmMessage::msgTimer_Timer() {
    ++SecondsShown;
    if (SecondsShown == m_state.MessageTimeout) {
        m_state.MessageTimeout = 0;
        msgTimer->stop();
        close();
    }
}

void frmMessage::cmdMsgOk_Click() {
    QCoreApplication::processEvents();
    cmdMsgOk->hide();
    QCoreApplication::processEvents();
    FadeOut(m_state.VisualEffects, this, 90, false);
    m_state.MessageWaiting = 0;
    close();
}

void frmMessage::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
    NoticeWindow::changeEvent(event);
}

void frmMessage::keyPressEvent(QKeyEvent* event) {
    bool altF4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier;
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_F12 || altF4)
        close();
    else
        NoticeWindow::keyPressEvent(event);
}

void frmMessage::closeEvent(QCloseEvent* event) {
    msgTimer->stop();
    m_state.MessageTimeout = 0;
    NoticeWindow::closeEvent(event);
}

} // namespace qvl::ui
