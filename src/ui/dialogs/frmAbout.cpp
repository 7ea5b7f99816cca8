#include "ui/dialogs/frmAbout.h"

#include "Version.h"
#include "platform/SystemChecks.h"
#include "ui/dialogs/InfoWindows.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QApplication>
#include <QKeyEvent>

namespace qvl::ui {

frmAbout::frmAbout(InfoState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state) {
    setObjectName("frmAbout");
    setWindowTitle("About Quorvel");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(312, 290);
    ARGradient1 = makeGradient(this, "ARGradient1", QRect(0, 0, 312, 64), 0x400000, 0xC0C0C0, true);
    makeLabel(ARGradient1, "Label2", "Quorvel", QRect(12, 8, 200, 34), makeFont("Tahoma", 20.25), Qt::white);
    Label1 = new ClickLabel("About", ARGradient1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(200, 34, 100, 26);
    Label1->setFont(makeFont("Tahoma", 14.25));
    setTextColor(Label1, Qt::white);
    cmdClose = makeStripButton(ARGradient1, "cmdClose", "X", QRect(290, 2, 18, 17));

    auto line = [this](const char* name, int top) {
        return makeLabel(this, name, "", QRect(16, top, 280, 18), makeFont("Tahoma", 8.25, false), Qt::black);
    };
    lblVersion = line("lblVersion", 74);
    lblMyName = line("lblMyName", 94);
    lblWinVer = line("lblWinVer", 118);
    lblWinVer->setWordWrap(true);
    lblWinVer->setFixedHeight(34);
    lblMDAC = line("lblMDAC", 154);

    lblHomepage = new ClickLabel("Home Page", this);
    lblEmail = new ClickLabel("EMail", this);
    lblCredits = new ClickLabel("View Credits", this);
    lblHomepage->setObjectName("lblHomepage");
    lblEmail->setObjectName("lblEmail");
    lblCredits->setObjectName("lblCredits");
    lblHomepage->setGeometry(16, 180, 90, 18);
    lblEmail->setGeometry(120, 180, 60, 18);
    lblCredits->setGeometry(200, 180, 100, 18);
    for (ClickLabel* link : {lblHomepage, lblEmail, lblCredits})
        setTextColor(link, Qt::blue);
    lblCredits->hide();

    auto button = [this](const char* name, const char* text, int left) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(left, 240, 92, 34);
        return b;
    };
    cmdOk = button("cmdOk", "&OK", 12);
    cmdHelp = button("cmdHelp", "&Help", 110);
    cmdHistory = button("cmdHistory", "Version &History", 208);
    auto* border = new Shape(this, QColor(0, 0, 64));
    border->setObjectName("Shape1");
    border->setGeometry(rect());
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(50);

    // The load.
    cmdOk->setIcon(state.pictures().picture("cmdOk")); // SetPics
    lblEmail->setCursor(state.pictures().pointer("cmdEmail"));
    lblHomepage->setCursor(state.pictures().pointer("cmdIE"));
    lblWinVer->setText(QString::fromStdString(platform::GetWindowsVersion()));
    lblMDAC->setText(QString::fromStdString("MDAC v" + platform::formatVersion(platform::GetMDACVersion())));
    SetTransparency(state.VisualEffects, this, 0, false);
    lblVersion->setText(QString("v") + kVersion);
    lblMyName->setText("Written By " + state.AuthorName);
    lblEmail->setToolTip(state.AuthorEmail);
    Timer1->start();
    CenterForm(this);

    connect(Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);
    connect(cmdOk, &QPushButton::clicked, this, &frmAbout::CloseForm);
    connect(cmdClose, &QPushButton::clicked, this, &frmAbout::closeAndEscape);
    connect(cmdHelp, &QPushButton::clicked, this, [this] {
        InfoState& s = m_state;
        close();
        showHelp(s);
    });
    connect(cmdHistory, &QPushButton::clicked, this, [this] {
        InfoState& s = m_state;
        close();
        showVersionHistory(s);
    });
    connect(Label1, &ClickLabel::doubleClicked, lblCredits, &QWidget::show);
    connect(lblCredits, &ClickLabel::doubleClicked, this, [this] {
        InfoState& s = m_state;
        close();
        showCredits(s);
    });
    connect(lblEmail, &ClickLabel::clicked, this,
            [this] { m_state.openUrl("mailto:" + m_state.AuthorEmail); });
    connect(lblHomepage, &ClickLabel::clicked, this,
            [this] { m_state.openUrl("http://" + m_state.HomePageHost); });
}

void frmAbout::Timer1_Timer() {
    if (m_fadeInPending) {
        FadeIn(m_state.VisualEffects, this, 85, false);
        m_fadeInPending = false;
    }
    ++m_a;
    ++m_b;
    ARGradient1->setColor(static_cast<int>(m_a));
    ARGradient1->setFinColor(static_cast<int>(m_b));
    if (m_a == 0xC0C0C0 || m_b == 0x400000) {
        m_a = 0x400000;
        m_b = 0xC0C0C0;
    }
    QCoreApplication::processEvents();
}

void frmAbout::CloseForm() {
    FadeOut(m_state.VisualEffects, this, 85, false);
    closeAndEscape();
}

void frmAbout::closeAndEscape() {
    close();
    if (QWidget* active = QApplication::activeWindow(); active && active != this) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(active, &escape);
    }
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier)
        CloseForm();
    else
        QWidget::keyPressEvent(event);
}

} // namespace qvl::ui
