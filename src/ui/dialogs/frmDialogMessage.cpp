#include "ui/dialogs/frmDialogMessage.h"

#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

namespace qvl::ui {

namespace {

ARGradient* band(QWidget* parent, const char* name, QRect geometry, uint32_t from, uint32_t to,
                 int orientation) {
    auto* g = new ARGradient(parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    g->setColor(static_cast<int>(from));
    g->setFinColor(static_cast<int>(to));
    g->setOrientation(orientation);
    return g;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int left) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(left, 83, 65, 25);
    b->setFont(QFont("Lucida Sans Unicode", 9));
    return b;
}

} // namespace

frmDialogMessage::frmDialogMessage(DialogState& state)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName("frmDialogMessage");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(329, 111);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);

    ARGradient3 = band(this, "ARGradient3", QRect(0, 0, 329, 9), bgr(0, 128, 0), bgr(0, 64, 0), 2);
    ARGradient1 = band(this, "ARGradient1", QRect(0, 9, 329, 35), bgr(0, 192, 0), bgr(0, 64, 0), 2);
    ARGradient1->setMoveform(true);
    ARGradient2 = band(this, "ARGradient2", QRect(0, 44, 329, 9), bgr(192, 192, 192), bgr(0, 64, 0), 2);
    ARGradient4 = band(this, "ARGradient4", QRect(1, 80, 327, 30), bgr(255, 255, 255), bgr(192, 192, 192), 3);

    lblTitle = makeLabel(ARGradient1, "lblTitle", "", QRect(8, 6, 270, 23), makeFont("Tahoma", 12),
                         QColor(192, 255, 192));

    ImgClose = new ClickLabel(this);
    ImgClose->setObjectName("ImgClose");
    ImgClose->setGeometry(293, 10, 32, 32);
    ImgClose->setPixmap(state.pictures().picture("cmdCancel").pixmap(32, 32));
    ImgClose->setCursor(Qt::PointingHandCursor);

    lblmsg1 = makeLabel(this, "lblmsg1", "", QRect(4, 55, 321, 24), makeFont("Tahoma", 12), Qt::black,
                        Qt::AlignCenter);

    // The second line sits on the button band, between the two buttons.
    lblmsg2 = makeLabel(this, "lblmsg2", "", QRect(76, 85, 177, 20),
                        makeFont("Lucida Sans Unicode", 8.25, false), Qt::black, Qt::AlignCenter);
    lblmsg2->setWordWrap(true);

    cmdMsgYes = button(this, "cmdMsgYes", "&Yes", 6);
    cmdNo = button(this, "cmdNo", "&No", 329 - 6 - 65);

    connect(cmdMsgYes, &QPushButton::clicked, this, [this] { answer(1); });
    connect(cmdNo, &QPushButton::clicked, this, [this] { answer(2); });
    connect(ImgClose, &ClickLabel::clicked, this, [this] { answer(2); });

    FadeIn(m_state.VisualEffects, this, 90, false);
    CenterForm(this);
}

void frmDialogMessage::makeRed() {
    for (ARGradient* g : {ARGradient1, ARGradient2, ARGradient3}) {
        g->setColor(static_cast<int>(bgr(255, 0, 0)));
        g->setFinColor(static_cast<int>(bgr(128, 0, 0)));
    }
}

void frmDialogMessage::answer(int16_t value) {
    if (m_answered)
        return;
    m_answered = true;
    m_state.DialogAnswer = value;
    FadeOut(m_state.VisualEffects, this, 90, false);
    close();
}

void frmDialogMessage::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Y)
        answer(1);
    else if (event->key() == Qt::Key_N || event->key() == Qt::Key_Escape)
        answer(2);
    else
        QWidget::keyReleaseEvent(event);
}

void frmDialogMessage::closeEvent(QCloseEvent* event) {
    if (m_state.DialogAnswer == 0)
        m_state.DialogAnswer = 2; // closed by other means: the caller must not wait for ever
    QWidget::closeEvent(event);
}

void frmDialogMessage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QColor(0, 64, 0));
    painter.drawLine(0, 0, 0, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
}

} // namespace qvl::ui
