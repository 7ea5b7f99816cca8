#include "ui/main/frmQuickMenu.h"

#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QApplication>
#include <QKeyEvent>

namespace qvl::ui {

frmQuickMenu::frmQuickMenu(const SettingsState& state, std::function<void(const QString&)> fakePress)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName("frmQuickMenu");
    setWindowTitle("none");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(px(1455), px(1710));
    setFont(makeFont("Tahoma", 8.25, false));
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(222, 220, 211));
    setPalette(p);
    setAutoFillBackground(true);

    auto* strip =
        makeGradient(this, "ARGradient1", pxRect(0, 0, 1455, 255), bgr(255, 255, 255), bgr(64, 64, 64), true);
    strip->setOrientation(4);
    Label1 = new ClickLabel("Quick Menu", strip);
    Label1->setObjectName("Label1");
    Label1->setGeometry(pxRect(120, 0, 975, 195));
    Label1->setFont(makeFont("Tahoma", 7.5));
    cmdClose = makeStripButton(strip, "cmdClose", "X", pxRect(1200, 0, 255, 270));
    static constexpr const char* kCaptions[] = {"&Find", "&Stop",  "&Index Drives",
                                                "&Help", "&About", "His&tory"};
    for (int i = 0; i < 6; ++i) {
        Command[i] = new QPushButton(kCaptions[i], this);
        Command[i]->setObjectName(QString("Command%1").arg(i + 1));
        Command[i]->setGeometry(pxRect(0, 240 * (i + 1), 1455, 255));
        const QString word = kCommands[i];
        connect(Command[i], &QPushButton::clicked, this, [fakePress, word] { fakePress(word); });
    }
    connect(Label1, &ClickLabel::doubleClicked, this, &QWidget::close);
    connect(cmdClose, &QPushButton::clicked, this, [this] {
        FadeOut(m_state.VisualEffects, this, 90, false);
        close();
    });
    SetTransparency(state.VisualEffects, this, 90, false);
}

void frmQuickMenu::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        hide(); // the instance stays for the next right-press
    else
        QWidget::keyReleaseEvent(event);
}

void frmQuickMenu::focusOutEvent(QFocusEvent* event) {
    // Only the window itself giving up the focus, not one of its buttons.
    if (event->reason() != Qt::PopupFocusReason && !isAncestorOf(QApplication::focusWidget()))
        close();
    QWidget::focusOutEvent(event);
}

} // namespace qvl::ui
