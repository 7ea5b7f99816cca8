#pragma once
// The process-wide values of the program, in one object that Main owns and hands to
// every window that needs them. Nothing else in the program is global.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qvl::ui {
class frmPic;
}

namespace qvl::ui {

struct UiState {
    UiState();
    ~UiState();
    UiState(const UiState&) = delete;
    UiState& operator=(const UiState&) = delete;

    // The two settings (1 on, 0 off).
    int16_t ExplorerMode = 1;
    int16_t VisualEffects = 1;

    // The index store.
    std::string DbFileName = "Files.dat";
    std::string DbConnect;
    std::string TemplateFile; // fresh.dat, the empty index every run starts from
    bool IsFirstRun = false;

    // The one stop request: set by the stop commands, read by the index run's walking
    // threads and by the search, so it is atomic.
    std::atomic<bool> StopRequested{false};
    bool StartupSearch = false;

    // The message dialogs' shared state.
    int32_t MessageTimeout = 0; // one-second ticks until the notice closes itself; 0 never
    int16_t MessageWaiting = 0; // non-zero while a caller waits for the notice or error window
    int16_t DialogAnswer = 0;   // 0 none yet, 1 Yes/Ok, 2 No/Cancel
    bool TransparencyWorks = false;

    // Texts of the author label and the mail and homepage links.
    QString AuthorName, AuthorEmail, HomePageHost;

    // The windows that exist at most once, while they exist.
    QPointer<QWidget> notice, errorWindow, question, help, versionHistory, about, credits, setup, quickMenu;
    // The never-shown picture holder, created on first use.
    ui::frmPic& pictures();

    // Ends the process at once, without any closing sequence (the notice's "PANIC!").
    std::function<void()> endProgramNow;
    // Opens a folder in the file manager, with or without its tree; "" or why it failed.
    // Tests put a recorder here.
    std::function<std::string(const std::string& folder, bool withTree)> openFolder;
    // Hands a mail or web address to the desktop (tests put a recorder here).
    std::function<void(const QString& url)> openUrl;

private:
    std::unique_ptr<ui::frmPic> m_pictures;
};

} // namespace qvl::ui
