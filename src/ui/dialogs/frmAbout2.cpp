#include "ui/dialogs/frmAbout2.h"

#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace qvl::ui {

namespace {

void paintBlack(QWidget* w, QColor color) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace

frmAbout2_sub::frmAbout2_sub(InfoState& state)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName("frmAbout2_sub");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(663, 120);
    paintBlack(this, QColor(16, 16, 24));
    lbl1 = makeLabel(this, "lbl1", "", QRect(0, 4, 663, 36), makeFont("Verdana", 21.75), Qt::white,
                     Qt::AlignCenter);
    lbl2 = makeLabel(this, "lbl2", "", QRect(0, 42, 663, 36), makeFont("Verdana", 21.75),
                     QColor(255, 255, 192), Qt::AlignCenter);
    lbl3 = makeLabel(this, "lbl3", "", QRect(0, 42, 663, 36), makeFont("Verdana", 21.75),
                     QColor(192, 255, 255), Qt::AlignCenter);
    lbl4 = makeLabel(this, "lbl4", "", QRect(0, 84, 663, 30), makeFont("Verdana", 15.75, false),
                     QColor(128, 128, 255), Qt::AlignCenter);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &frmAbout2_sub::AdvanceTitle);

    SetTransparency(state.VisualEffects, this, 0, false);
    CenterForm(this);
    SetTitles();
    m_card = 0;
    showCard();
    Timer1->start();
}

void frmAbout2_sub::SetTitles() {
    const QString author = m_state.AuthorName, home = m_state.HomePageHost;
    const QString cards[kCards][4] = {
        {"Quorvel", "* * *", "* * *", ""},
        {"Written By", author, "", ""},
        {"Directed by", author, "", ""},
        {"Casting and Screenplay", author, "", ""},
        {"Special Effects", author, "", ""},
        {"Original SoundTrack", author, "", "Ok, Enough with the ego trip!"},
        {"Moral Support", "Everyone who tried it early", "", ""},
        {"(This is quite", " boring I'd say)", "", ""},
        {"These Titles", "Were Written", "", ""},
        {"On a Very Very", "", "Boring Day.", ""},
        {"Visit Now:", home, home, ""},
        {"* * *", "Thanks for watching.", "", ""},
        {"", "", "", ""},
    };
    for (int c = 0; c < kCards; ++c)
        for (int l = 0; l < 4; ++l)
            m_titles[l][c] = cards[c][l];
}

void frmAbout2_sub::showCard() {
    QLabel* labels[] = {lbl1, lbl2, lbl3, lbl4};
    for (int l = 0; l < 4; ++l)
        labels[l]->setText(m_titles[l][m_card]);
    repaint();
}

void frmAbout2_sub::AdvanceTitle() {
    m_card = (m_card + 1) % (kCards - 1);
    FadeOut(m_state.VisualEffects, this, 100, true);
    showCard();
    FadeIn(m_state.VisualEffects, this, 100, true);
}

frmAbout2::frmAbout2(InfoState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName("frmAbout2");
    setAttribute(Qt::WA_DeleteOnClose);
    paintBlack(this, Qt::black);
    SetTransparency(state.VisualEffects, this, 0, false);
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect whole = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    resize(whole.width(), 213);
    CenterForm(this);
    move(whole.x(), y());
    makeGradient(this, "ARGradient1", QRect(0, 0, width(), 10), bgr(64, 64, 64), bgr(255, 255, 255));
    makeGradient(this, "ARGradient2", QRect(0, height() - 10, width(), 10), bgr(64, 64, 64),
                 bgr(255, 255, 255));
    lblClose = new ClickLabel("Close Credits", this);
    lblClose->setObjectName("lblClose");
    lblClose->setFont(makeFont("Verdana", 15.75, false));
    setTextColor(lblClose, QColor(192, 192, 192));
    lblClose->adjustSize();
    lblClose->move((width() - lblClose->width()) / 2, height() - 12 - lblClose->height());
    connect(lblClose, &ClickLabel::clicked, this, [this] {
        if (roll)
            roll->close();
        close();
    });
    FadeIn(state.VisualEffects, this, 100, false);
}

// The roll is a window of its own, not a child: it goes with the backdrop however the
// backdrop is closed.
frmAbout2::~frmAbout2() {
    delete roll;
}

void frmAbout2::changeEvent(QEvent* event) {
    // Each time the backdrop becomes active it shows the roll in front of it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        if (!roll)
            roll = new frmAbout2_sub(m_state);
        roll->show();
        roll->raise();
    }
    QWidget::changeEvent(event);
}

} // namespace qvl::ui
