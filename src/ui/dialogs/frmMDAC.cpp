#include "ui/dialogs/frmMDAC.h"

#include "platform/SystemChecks.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/WindowChrome.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QPointer>

namespace qvl::ui {

namespace {
constexpr const char* kDownloadPage = "https://www.microsoft.com/download/";
}

frmMDAC::frmMDAC(InfoState& state)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state) {
    using ui::makeFont;
    using ui::makeLabel;
    setObjectName("frmMDAC");
    setWindowTitle("Quorvel");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(481, 234);
    auto* strip = ui::makeGradient(this, "ARGradient1", QRect(0, 0, 481, 22), ui::bgr(64, 0, 0),
                                   ui::bgr(192, 192, 192), true);
    makeLabel(strip, "lblTitle", "Quorvel - HELP", QRect(8, 3, 200, 16), makeFont("Tahoma", 9),
              QColor(192, 255, 192));
    makeLabel(strip, "Label4", "Alert!", QRect(300, 3, 100, 16), makeFont("Tahoma", 9),
              QColor(255, 192, 192));
    cmdMinimize = ui::makeStripButton(strip, "cmdMinimize", "-", QRect(439, 2, 18, 17));
    Command1 = ui::makeStripButton(strip, "Command1", "X", QRect(459, 2, 18, 17));

    makeLabel(this, "Label1", "Old MDAC Version detected.", QRect(12, 30, 457, 36), makeFont("Tahoma", 20.25),
              QColor(192, 0, 0));
    makeLabel(this, "Label2", "QVL Requires at least version 2.5 of MDAC to operate correctly.",
              QRect(12, 74, 457, 20), makeFont("Tahoma", 9.75), Qt::black);
    lblMDACVer =
        makeLabel(this, "lblMDACVer", "", QRect(12, 98, 457, 20), makeFont("Tahoma", 9.75, false), Qt::black);
    makeLabel(this, "Label3", "PLEASE UPGRADE (using the link below)", QRect(12, 126, 457, 20),
              makeFont("Tahoma", 9.75), QColor(64, 0, 0));
    lblMDACUrl = new ui::ClickLabel("Microsoft MDAC Download page.", this);
    lblMDACUrl->setObjectName("lblMDACUrl");
    lblMDACUrl->setGeometry(12, 152, 300, 20);
    QFont link = makeFont("Lucida Sans Unicode", 9.75, false);
    link.setUnderline(true);
    lblMDACUrl->setFont(link);
    ui::setTextColor(lblMDACUrl, Qt::blue);
    lblMDACUrl->setCursor(Qt::PointingHandCursor);

    cmdOk = new QToolButton(this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setText("&Ok");
    cmdOk->setIcon(state.pictures().picture("cmdOk"));
    cmdOk->setIconSize(QSize(32, 32));
    cmdOk->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    cmdOk->setGeometry(380, 150, 86, 70);
    auto* border = new ui::Shape(this, QColor(64, 64, 64));
    border->setObjectName("Shape1");

    connect(cmdOk, &QToolButton::clicked, this, [this] {
        ui::FadeOut(m_state.VisualEffects, this, 90, false);
        close();
    });
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdMinimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(lblMDACUrl, &ui::ClickLabel::clicked, this, [this] { m_state.openUrl(kDownloadPage); });

    ui::SetTransparency(state.VisualEffects, this, 90, false);
    ui::FrameBorder(this);
    ui::CenterForm(this);
    lblMDACVer->setText(QString::fromStdString("It is reported that your version is " +
                                               platform::formatVersion(platform::GetMDACVersion())));
}

void frmMDAC::showModal(InfoState& state) {
    QPointer<frmMDAC> window = new frmMDAC(state);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    ui::waitUntilGone(window);
}

} // namespace qvl::ui
