#include "ui/dialogs/frmSetup.h"

#include "store/DataFolder.h"
#include "ui/Settings.h"
#include "ui/dialogs/Messages.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/WindowChrome.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QKeyEvent>
#include <QSettings>

namespace qvl::ui {

using ui::pxRect;

frmSetup::frmSetup(DialogState& state, std::filesystem::path dataDir, std::function<void()> syncShadows)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state)
    , m_dataDir(std::move(dataDir))
    , m_syncShadows(std::move(syncShadows)) {
    setObjectName("frmSetup");
    setWindowTitle("Setup");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ui::px(4680), ui::px(4680));
    setFont(ui::makeFont("Tahoma", 8.25, false));

    auto* strip = new ui::ARGradient(this);
    strip->setObjectName("ARGradient1");
    strip->setGeometry(pxRect(0, 0, 4680, 285));
    strip->setColor(static_cast<int>(ui::bgr(0, 64, 0)));
    strip->setFinColor(static_cast<int>(ui::bgr(192, 192, 192)));
    strip->setMoveform(true);
    ui::makeLabel(strip, "lblTitle", "Quorvel", pxRect(120, 15, 2055, 240), ui::makeFont("Tahoma", 9),
                  QColor(192, 255, 192));
    ui::makeLabel(strip, "Label1", "Setup", pxRect(2205, 15, 735, 255), ui::makeFont("Tahoma", 9),
                  QColor(192, 255, 255));
    cmdMinimize = new QPushButton("-", strip);
    cmdMinimize->setObjectName("cmdMinimize");
    cmdMinimize->setGeometry(pxRect(4200, 0, 255, 270));
    Command1 = new QPushButton("X", strip);
    Command1->setObjectName("Command1");
    Command1->setGeometry(pxRect(4440, 0, 255, 270));

    chkEffects = new ui::WrapCheckBox("Enable Transparency Effects (Windows 2000+ only)", this);
    chkEffects->setObjectName("chkEffects");
    chkEffects->setGeometry(pxRect(240, 480, 3135, 615));
    ui::makeLabel(this, "Label2", "Hint: This window should be transparent.", pxRect(600, 1080, 3735, 255),
                  ui::makeFont("Tahoma", 8.25, false), QColor(64, 64, 64));
    chkExplorer =
        new ui::WrapCheckBox("Show Directory Tree when opening Explorer (i.e. 2-Pane Explorer)", this);
    chkExplorer->setObjectName("chkExplorer");
    chkExplorer->setGeometry(pxRect(240, 1440, 4095, 615));
    chkAsYouType = new ui::WrapCheckBox("Show results as you type", this);
    chkAsYouType->setObjectName("chkAsYouType");
    chkAsYouType->setGeometry(pxRect(240, 2070, 4095, 255));
    lblLeaveOut =
        ui::makeLabel(this, "lblLeaveOut",
                      "Leave out these folders, one a line: name node_modules, name *.cache, "
                      "path /srv/scratch, fs nfs4 (a file system's drives)",
                      pxRect(240, 2430, 4200, 420), ui::makeFont("Tahoma", 8.25, false), QColor(0, 0, 0));
    lblLeaveOut->setWordWrap(true);
    txtLeaveOut = new QPlainTextEdit(this);
    txtLeaveOut->setObjectName("txtLeaveOut");
    txtLeaveOut->setGeometry(pxRect(240, 2880, 4200, 960));
    txtLeaveOut->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLeaveOut->setTabChangesFocus(true);
    lblLeaveOut->setBuddy(txtLeaveOut);

    auto button = [this](const char* name, const char* text, const char* picture, int left) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setGeometry(pxRect(left, 3915, 1455, 615));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIcon(m_state.pictures().picture(picture)); // SetPics
        b->setIconSize(QSize(24, 24));
        QPalette p = b->palette();
        p.setColor(QPalette::Button, ui::colorFromBgr(0xD3DCDE));
        b->setPalette(p);
        b->setAutoFillBackground(true);
        return b;
    };
    cmdSave = button("cmdSave", "&Save", "cmdOk", 480);
    cmdCancel = button("cmdCancel", "&Cancel", "cmdCancel", 2640);
    auto* border = new ui::Shape(this, QColor(64, 64, 64));
    border->setObjectName("Shape1");

    connect(cmdSave, &QToolButton::clicked, this, &frmSetup::cmdSave_Click);
    connect(cmdCancel, &QToolButton::clicked, this, &frmSetup::CloseForm);
    connect(Command1, &QPushButton::clicked, this, &frmSetup::CloseForm);
    connect(cmdMinimize, &QPushButton::clicked, this, &QWidget::showMinimized);

    ui::SetTransparency(m_state.VisualEffects, this, 90, false);
    ui::FrameBorder(this);
    ui::CenterForm(this);
    int16_t explorer = 1, effects = 1;
    LoadSettings(explorer, effects);
    chkExplorer->setChecked(explorer == 1);
    chkEffects->setChecked(effects == 1);
    chkAsYouType->setChecked(LoadAsYouType());
    for (const std::string& problem : indexer::loadLeaveOut(m_dataDir, m_rules))
        qWarning("%s", problem.c_str());
    txtLeaveOut->setPlainText(QString::fromStdString(m_rules.text()));
}

void frmSetup::cmdSave_Click() {
    // The rules first: one that is not a rule saves nothing, and says which line it is.
    indexer::LeaveOut rules;
    const std::vector<std::string> problems = rules.parse(txtLeaveOut->toPlainText().toStdString());
    if (!problems.empty()) {
        ui::ShowErrorMessage(m_state, "Setup not saved",
                             QString::fromStdString("Leave out, " + problems.front()), true, true);
        return;
    }
    if (rules != m_rules) {
        std::string failed = store::checkDataFolder(m_dataDir, /*create=*/true);
        if (failed.empty())
            failed = indexer::saveLeaveOut(m_dataDir, rules);
        if (!failed.empty()) {
            qWarning("%s", failed.c_str());
            ui::ShowErrorMessage(m_state, "Setup not saved", "The folders to leave out cannot be written",
                                 true, true);
            return;
        }
        m_rules = rules;
    }
    int16_t explorer = chkExplorer->isChecked() ? 1 : 0, effects = chkEffects->isChecked() ? 1 : 0;
    if (!SaveSettings(explorer, effects) || !SaveAsYouType(chkAsYouType->isChecked())) {
        ui::ShowErrorMessage(m_state, "Setup not saved", "The settings store cannot be written", true, true);
        return;
    }
    LoadSettings(m_state.ExplorerMode, m_state.VisualEffects);
    m_state.AsYouType = LoadAsYouType();
    ui::ShowMessage(m_state, "Setup Saved", "", true, true);
    if (m_syncShadows)
        m_syncShadows();
    CloseForm();
}

void frmSetup::CloseForm() {
    ui::FadeOut(m_state.VisualEffects, this, 90, false);
    close();
}

void frmSetup::keyPressEvent(QKeyEvent* event) {
    bool altF4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier;
    if (event->key() == Qt::Key_Escape || altF4)
        CloseForm();
    else
        QWidget::keyPressEvent(event);
}

} // namespace qvl::ui
