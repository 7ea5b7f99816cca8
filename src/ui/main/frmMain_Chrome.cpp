// The main window's frame: title colours and gestures, clock, blinker, border lines,
// the pop-up bottom bar, the drop shadows and the stored author texts.
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/frmPic.h"
#include "ui/main/frmMain.h"
#include "ui/main/frmShadow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>

namespace qvl::ui {

namespace {

// The author texts, kept scrambled (each character XOR 12).
const char* const kHiddenName = "]Z@,Xima";              // "QVL Team"
const char* const kHiddenEmail = "}yc~zi`Litma|`i\"c~k"; // "quorvel@example.org"
const char* const kHiddenHost = "{{{\"}yc~zi`\"c~k";     // "www.quorvel.org"

} // namespace

QString frmMain::Unscramble(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        c = QChar(static_cast<char16_t>((c.unicode() & 0xFF) ^ 12) | (c.unicode() & 0xFF00));
    return out;
}

void frmMain::LoadHiddenTexts() {
    m_state.AuthorName = Unscramble(QString::fromLatin1(kHiddenName));
    m_state.AuthorEmail = Unscramble(QString::fromLatin1(kHiddenEmail));
    m_state.HomePageHost = Unscramble(QString::fromLatin1(kHiddenHost));
}

void frmMain::SetFormGFX() {
    LoadHiddenTexts();
    const int h = height();
    m_line3->setGeometry(m_line3->x(), 0, 1, h);
    m_line4->setGeometry(0, m_line4->y(), 1, h - m_line4->y());
    m_line5->setGeometry(0, h - 1, m_line5->width(), 1);
    tb1->move(0, h - tb1->height());
    lblEmail->setText(m_state.AuthorName);
    lblEmail->setCursor(m_state.pictures().pointer("cmdEmail"));
    QCoreApplication::processEvents();
    Option1->setChecked(true);
    Option4->setChecked(true);
}

void frmMain::ShowTime() {
    QLocale locale;
    QDateTime now = QDateTime::currentDateTime();
    // The long time format without its time-zone name, as the system clock shows it.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat).remove('t').trimmed();
    lblTimeDate->setText("(" + locale.toString(now.date(), QLocale::ShortFormat) + ")  " +
                         locale.toString(now.time(), timeFormat));
}

void frmMain::Timer1_Timer() {
    QColor first = circ1->fill();
    circ1->setFill(circ2->fill());
    circ2->setFill(first);
    ShowTime();
}

void frmMain::tFlash_Timer() {
    shMark->setVisible(!shMark->isVisible());
}

void frmMain::setTitleColors(bool focused) {
    ARGradient1->setColor(static_cast<int>(focused ? bgr(64, 64, 64) : bgr(0, 0, 0)));
    ARGradient1->setFinColor(static_cast<int>(focused ? bgr(224, 224, 224) : bgr(0, 0, 255)));
    // The focus moves here in the middle of a mouse press (a click on a control that takes
    // no focus gives it to the window), so the yield leaves input events queued: run then,
    // the release of that click was handled before its press and the click was lost.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmMain::focusInEvent(QFocusEvent* event) {
    setTitleColors(true);
    QWidget::focusInEvent(event);
}

void frmMain::focusOutEvent(QFocusEvent* event) {
    setTitleColors(false);
    QWidget::focusOutEvent(event);
}

void frmMain::hoverAt(int x, int y) {
    bool inBand = y >= 7000 && x > 1300 && x < 5300;
    if (inBand != tb1->isVisible())
        tb1->setVisible(inBand);
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    hoverAt(static_cast<int>(event->position().x() * kTwipsPerPixel),
            static_cast<int>(event->position().y() * kTwipsPerPixel));
    QWidget::mouseMoveEvent(event);
}

void frmMain::PositionShadows() {
    // Solid black strips are worse than none: shadows show only where they can be
    // see-through.
    if (m_state.VisualEffects == 1 && m_state.TransparencyWorks) {
        for (frmShadow* s : {m_shadowX, m_shadowY})
            if (!s->isVisible())
                s->show();
    }
    const QRect g = geometry();
    const int offset = px(100), strip = px(100);
    m_shadowX->setGeometry(g.x() + g.width(), g.y() + offset, strip, g.height());
    m_shadowY->setGeometry(g.x() + offset, g.y() + g.height(), g.width() - offset, strip);
    // Called while a drag's mouse moves are handled: input waits its turn (see setTitleColors).
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmMain::SyncShadows() {
    if (!isMinimized() && m_state.TransparencyWorks && m_state.VisualEffects == 1) {
        PositionShadows();
        m_shadowX->show();
        m_shadowY->show();
    } else {
        m_shadowX->hide();
        m_shadowY->hide();
    }
}

void frmMain::connectChrome() {
    connect(lblTimeDate, &ClickLabel::doubleClicked, this,
            [this] { lblTimeDate->setVisible(!lblTimeDate->isVisible()); });
    connect(ARGradient1, &ARGradient::clicked, this, [this] {
        if (!lblTimeDate->isVisible())
            lblTimeDate->show();
    });
    // With a button held, the shadows follow the window while it is dragged.
    for (ARGradient* g : {ARGradient1, ARGradient3})
        connect(g, &ARGradient::mouseMoved, this, [this](int buttons, int, int, int) {
            if (buttons != 0)
                PositionShadows();
        });
}

} // namespace qvl::ui
