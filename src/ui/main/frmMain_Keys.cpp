// The main window's keyboard map (seen before the focused control), its mouse gestures,
// the quick menu and the colour scrambler.
#include "ui/dialogs/InfoWindows.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/main/frmMain.h"
#include "ui/main/frmPart.h"
#include "ui/main/frmQuickMenu.h"
#include "ui/main/frmSplash.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QScreen>

#include <cmath>

namespace qvl::ui {

void frmMain::connectGestures() {
    qApp->installEventFilter(this);
    lblTitle->installEventFilter(this);
    connect(ARGradient1, &ARGradient::mouseDown, this, [this](int button, int, int x, int y) {
        if (button == Qt::RightButton)
            ShowQuickMenu(x, y);
    });
    connect(findChild<ClickLabel*>("Label9"), &ClickLabel::doubleClicked, this,
            [this] { showCredits(m_state); });
    connect(findChild<ClickLabel*>("lblBD1"), &ClickLabel::doubleClicked, this,
            [] { (new frmSplash)->show(); });
    connect(lblEmail, &ClickLabel::clicked, this, [this] {
        m_state.openUrl("mailto:" + m_state.AuthorEmail + "?Subject=Quorvel");
        focusNextChild(); // the Tab keystroke that moves the focus on
    });
    Label2->installEventFilter(this);
}

void frmMain::ShowQuickMenu(int x, int y) {
    if (!m_state.quickMenu)
        m_state.quickMenu = new frmQuickMenu(m_state, [this](const QString& word) { FakePress(word); });
    QWidget* menu = m_state.quickMenu;
    menu->move(this->x() + px(x), this->y() + px(y));
    menu->setVisible(!menu->isVisible());
    if (menu->isVisible())
        menu->activateWindow();
}

void frmMain::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        ShowQuickMenu(static_cast<int>(event->position().x() * kTwipsPerPixel),
                      static_cast<int>(event->position().y() * kTwipsPerPixel));
    QWidget::mousePressEvent(event);
}

void frmMain::Egg2(int16_t n) {
    QList<QObject*> controls = findChildren<QObject*>();
    controls.prepend(this);
    for (QObject* control : controls) {
        for (const char* name : {"BackColor", "ForeColor", "FillColor", "Color", "FinColor"}) {
            QVariant value = control->property(name);
            if (value.isValid()) // a control without the property is left alone
                control->setProperty(name, value.toInt() ^ n);
        }
    }
}

void frmMain::Label2_DblClick() {
    QPalette p = Label2->palette();
    QColor c = p.color(QPalette::WindowText);
    uint32_t value = (c.red() | (c.green() << 8) | (c.blue() << 16)) ^ 254;
    p.setColor(QPalette::WindowText, colorFromBgr(value));
    Label2->setPalette(p);
    Shape4->setFillColor(Shape4->fillColor() ^ 30);
}

QWidget* frmMain::sectionNumber(int number) const {
    return number == 1 ? m_part1 : m_part2;
}

void frmMain::toggleSectionNumbers() {
    if (!m_part1) {
        m_part1 = new frmPart(m_state, 1, this, 0);
        m_part2 = new frmPart(m_state, 2, this, 4920);
        m_part1->show();
        m_part2->show();
        return;
    }
    for (QWidget* part : {m_part1, m_part2})
        part->setVisible(!part->isVisible());
}

bool frmMain::handleMapKey(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if (key == Qt::Key_F1) {
        showAbout(m_state, /*modal=*/false);
        return true;
    }
    if (mods != Qt::AltModifier)
        return false;
    QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
    switch (key) {
    case Qt::Key_F4:
        m_state.endProgramNow();
        return true;
    case Qt::Key_P:
        toggleSectionNumbers();
        return true;
    case Qt::Key_R:
        if (txtSearchString->isEnabled())
            txtSearchString->setFocus();
        return true;
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_3:
    case Qt::Key_4:
    case Qt::Key_5: {
        const int left = px(1), right = screen.width() - width(), top = px(1),
                  bottom = screen.height() - height();
        switch (key) {
        case Qt::Key_1:
            move(left, top);
            break;
        case Qt::Key_2:
            move(right, top);
            break;
        case Qt::Key_3:
            move(right, bottom);
            break;
        case Qt::Key_4:
            move(left, bottom);
            break;
        default:
            CenterForm(this);
        }
        PositionShadows();
        return true;
    }
    case Qt::Key_F9: {
        QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
        Egg2(static_cast<int16_t>(std::nearbyint(random.generateDouble() * 255)));
        return true;
    }
    case Qt::Key_F10:
        Egg2(152);
        return true;
    case Qt::Key_F11:
        Egg2(9);
        return true;
    case Qt::Key_F12:
        Egg2(52);
        return true;
    default:
        return false;
    }
}

} // namespace qvl::ui
