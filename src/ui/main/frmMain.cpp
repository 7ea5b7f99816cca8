#include "ui/main/frmMain.h"

#include "Version.h"

#include "store/IndexStore.h"
#include "ui/dialogs/InfoWindows.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmSetup.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Twips.h"
#include "ui/kit/frmPic.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/frmShadow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cmath>
#include <filesystem>

namespace qvl::ui {

frmMain::frmMain(ui::UiState& state, indexer::DriveCatalogue catalogue, QString commandLine)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_state(state)
    , m_catalogue(std::move(catalogue))
    , m_commandLine(std::move(commandLine)) {
    buildLayout();
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    tFlash = new QTimer(this);
    tFlash->setObjectName("tFlash");
    tFlash->setInterval(500);
    m_shadowX = new frmShadow(m_state, "frmShadowX");
    m_shadowY = new frmShadow(m_state, "frmShadowY");

    connect(cmdScan, &QToolButton::clicked, this, &frmMain::cmdScan_Click);
    connect(cmdPanic, &QToolButton::clicked, this, &frmMain::cmdPanic_Click);
    connect(cmdGoSearch, &QToolButton::clicked, this, &frmMain::cmdGoSearch_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMain::cmdClose_Click);
    connect(cmdMinimize, &QPushButton::clicked, this, &frmMain::cmdMinimize_Click);
    connect(cboPreset, &QComboBox::activated, this, &frmMain::cboPreset_Click);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(tFlash, &QTimer::timeout, this, &frmMain::tFlash_Timer);
    // With the button down the window becomes layered, still opaque, before its fade.
    connect(cmdClose, &QPushButton::pressed, this,
            [this] { SetTransparency(m_state.VisualEffects, this, 100, false); });
    connect(cmdSetup, &QToolButton::clicked, this, &frmMain::cmdSetup_Click);
    connect(cmdHelp2, &QToolButton::clicked, this, [this] { showHelp(m_state); });
    connect(cmdAbout, &QToolButton::clicked, this, [this] { showAbout(m_state, /*modal=*/true); });
    connect(lblFindDirectory, &ClickLabel::clicked, this, [this] { txtSearchString->setFocus(); });
    connectChrome();
    connectSearch();
    connectGestures();
}

frmMain::~frmMain() {
    if (m_indexThread) {
        m_state.StopRequested = true;
        m_indexThread->wait();
    }
    qApp->removeEventFilter(this);
    delete m_shadowX;
    delete m_shadowY;
    delete m_part1;
    delete m_part2;
    delete m_state.quickMenu.data();
}

void frmMain::CheckFirstRun() {
    std::error_code ec;
    m_state.IsFirstRun = !std::filesystem::exists(m_state.DbConnect, ec);
    if (m_state.IsFirstRun) {
        // The message goes over the window, so the window is on screen first.
        if (!isVisible())
            show();
        QMessageBox::information(this, "Quorvel",
                                 "This is the FIRST TIME you run QVL, Please select 'Index Drives'");
    }
}

void frmMain::Form_Load() {
    SetFormGFX();
    cmdSetup->setIcon(m_state.pictures().picture("cmdSetup"));
    CenterForm(this);
    if (m_state.TransparencyWorks && m_state.VisualEffects == 1) {
        PositionShadows();
        m_shadowX->show();
        m_shadowY->show();
    }
    LoadHiddenTexts();
    ShowTime();
    Timer1->start();

    CheckFirstRun();

    lblTitle->setText(QString("Quorvel, v") + kVersion);
    if (m_state.IsFirstRun)
        cmdGoSearch->setEnabled(false);
    ClearAllForm();
    MarkAllDrives(indexer::DriveFixed);
    if (!m_commandLine.isEmpty())
        runStartupSearch();
    m_state.StartupSearch = false;
    txtSearchString->setFocus();
    SetDrivesDesc();
    RefreshIndexState();
}

void frmMain::FakePress(const QString& command) {
    // The quick menu goes first, whatever the command, so no command runs with it open.
    // It is deleted later: the command may come from one of its own buttons.
    if (QWidget* menu = m_state.quickMenu) {
        menu->hide();
        menu->deleteLater();
        m_state.quickMenu = nullptr;
    }
    if (command == "help")
        showHelp(m_state);
    else if (command == "about")
        showAbout(m_state, /*modal=*/true);
    else if (command == "history")
        showVersionHistory(m_state);
    else if (command == "find")
        cmdGoSearch_Click();
    else if (command == "stop")
        cmdPanic_Click();
    else if (command == "index")
        cmdScan_Click();
}

void frmMain::cmdSetup_Click() {
    if (!m_state.setup)
        m_state.setup = new ui::frmSetup(m_state, std::filesystem::path(m_state.DbConnect).parent_path(),
                                         [this] { SyncShadows(); });
    m_state.setup->show();
    m_state.setup->activateWindow();
}

void frmMain::cmdPanic_Click() {
    requestStop();
}

void frmMain::requestStop() {
    if (m_searching)
        m_searchStop = true;
    if (indexRunning() || m_indexAsked)
        m_state.StopRequested = true;
}

void frmMain::cmdMinimize_Click() {
    showMinimized();
    SyncShadows();
}

void frmMain::cmdClose_Click() {
    // A search under way ends now, not after the fade: its worker stops within a block.
    if (m_searching) {
        m_searchStop = true;
        m_search.cancel();
    }
    Timer1->stop();
    for (ARGradient* g : m_gradients)
        g->hide();
    QCoreApplication::processEvents();
    // The fade only runs where it can be seen: with effects off, or without a window
    // system that draws opacity, each pass takes no time and the loop would spin for
    // seconds before the end with nothing changing.
    if (m_state.VisualEffects == 1 && m_state.TransparencyWorks) {
        int16_t level = 90, shade = 30;
        while (level > 1) {
            uint32_t t0 = layeredPlatform().tickCount();
            SetTransparency(m_state.VisualEffects, this, level, false);
            SetTransparency(m_state.VisualEffects, m_shadowX, shade, false);
            SetTransparency(m_state.VisualEffects, m_shadowY, shade, false);
            uint32_t elapsed = layeredPlatform().tickCount() - t0;
            shade = static_cast<int16_t>(std::max(0, shade - 1));
            QCoreApplication::processEvents();
            level = static_cast<int16_t>(level - std::nearbyint(elapsed / 10.0));
        }
    }
    m_state.endProgramNow();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Closed by the window manager (the task bar's close): the same end as the X button.
    event->ignore();
    cmdClose_Click();
}

} // namespace qvl::ui
