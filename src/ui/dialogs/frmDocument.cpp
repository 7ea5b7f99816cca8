#include "ui/dialogs/frmDocument.h"

#include "ui/dialogs/Documents.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QKeyEvent>

namespace qvl::ui {

frmDocument::frmDocument(InfoState& state, Kind kind, std::function<void()> showHistory)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state) {
    const bool help = kind == Kind::Help;
    setObjectName(help ? "frmHelp" : "frmHistory");
    setWindowTitle(help ? "Quorvel - HELP" : "Quorvel - Version History");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(help ? QSize(603, 464) : QSize(602, 469));
    const int w = width(), h = height(), strip = 22;

    auto* title =
        makeGradient(this, "ARGradient1", QRect(0, 0, w, strip), bgr(0, 0, 64), bgr(192, 192, 192), true);
    makeLabel(title, "lblTitle", windowTitle(), QRect(8, 3, 300, 16), makeFont("Tahoma", 9),
              QColor(192, 255, 192));
    cmdClose = makeStripButton(title, "cmdClose", "X", QRect(w - 18 - 2, 2, 18, 17));
    cmdMinimize = makeStripButton(title, "cmdMinimize", "-", QRect(w - 38 - 2, 2, 18, 17));
    makeGradient(this, "ARGradient2", QRect(0, strip, w, h - strip), bgr(255, 255, 255), bgr(192, 192, 192));
    if (help)
        makeLabel(this, "Label1", "HELP", QRect(12, strip + 6, 200, 28), makeFont("Tahoma", 14.25),
                  QColor(0, 0, 128));

    int top = strip + (help ? 40 : 10);
    RichTextBox1 = new QTextBrowser(this);
    RichTextBox1->setObjectName("RichTextBox1");
    RichTextBox1->setGeometry(12, top, w - 24, h - top - 60);
    RichTextBox1->setHtml(help ? helpDocument() : historyDocument());

    auto pictureButton = [&](const char* name, const char* text, int left) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setIcon(state.pictures().picture("cmdOk"));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setGeometry(left, h - 48, 120, 38);
        return b;
    };
    cmdOk = pictureButton("cmdOk", "&OK", w - 132);
    if (help) {
        cmdHistory = pictureButton("cmdHistory", "Version History", w - 264);
        cmdHistory->setIcon(state.pictures().picture("cmdHG"));
    }
    lblEmail = new ClickLabel("EMail", this);
    lblHomepage = new ClickLabel("Home Page", this);
    lblEmail->setObjectName("lblEmail");
    lblHomepage->setObjectName("lblHomepage");
    lblEmail->setGeometry(16, h - 40, 60, 20);
    lblHomepage->setGeometry(90, h - 40, 90, 20);
    lblEmail->setToolTip("Send me an email for any questions...");
    lblHomepage->setToolTip("Goto Quorvel Homepage.");
    for (ClickLabel* link : {lblEmail, lblHomepage})
        setTextColor(link, Qt::blue);
    lblEmail->setCursor(state.pictures().pointer("cmdEmail")); // SetPics
    lblHomepage->setCursor(state.pictures().pointer("cmdIE"));
    auto* border = new Shape(this, QColor(64, 64, 64));
    border->setObjectName("Shape1");
    border->setGeometry(0, strip, w, h - strip); // SetFrames_Help / SetFrames_Hist

    if (help)
        SetTransparency(state.VisualEffects, this, 100, false);
    CenterForm(this);
    connect(cmdOk, &QToolButton::clicked, this, [this] {
        FadeOut(m_state.VisualEffects, this, 100, false);
        close();
    });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdMinimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(lblEmail, &ClickLabel::clicked, this,
            [this] { m_state.openUrl("mailto:" + m_state.AuthorEmail); });
    connect(lblHomepage, &ClickLabel::clicked, this,
            [this] { m_state.openUrl("http://" + m_state.HomePageHost); });
    if (cmdHistory)
        connect(cmdHistory, &QToolButton::clicked, this, [this, showHistory] {
            close();
            if (showHistory)
                showHistory();
        });
}

void frmDocument::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

} // namespace qvl::ui
