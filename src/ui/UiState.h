#pragma once
// The process-wide values of the program, in one object the start-up owns. It is built
// in layers, each the part some windows use, and a window is handed the smallest layer
// it needs: the fading chrome windows the SettingsState, the message dialogs, the setup
// and the history window the DialogState, the information windows the InfoState; only
// the main window, which runs every command and opens every other window, and the
// start-up take the whole UiState.

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

// The settings (1 on, 0 off), and results as you type (off by default).
struct SettingsState {
    int16_t ExplorerMode = 1;
    int16_t VisualEffects = 1;
    bool AsYouType = false;
};

// What the message dialogs share, and with them every window that shows one: the one
// notice, error window and question, the flags a waiting caller polls, the settings (the
// fades follow VisualEffects) and the picture holder.
struct DialogState : SettingsState {
    DialogState();
    ~DialogState();
    DialogState(const DialogState&) = delete;
    DialogState& operator=(const DialogState&) = delete;

    int32_t MessageTimeout = 0; // one-second ticks until the notice closes itself; 0 never
    int16_t MessageWaiting = 0; // non-zero while a caller waits for the notice or error window
    int16_t DialogAnswer = 0;   // 0 none yet, 1 Yes/Ok, 2 No/Cancel
    bool TransparencyWorks = false;
    QPointer<QWidget> notice, errorWindow, question;

    // Ends the process at once, without any closing sequence (the notice's "PANIC!").
    std::function<void()> endProgramNow;
    // The never-shown picture holder, created on first use.
    frmPic& pictures();

private:
    std::unique_ptr<frmPic> m_pictures;
};

// What the information windows (about, help, version history, credits, the data-access
// warning) show and open besides the dialogs, and those windows while they exist.
struct InfoState : DialogState {
    InfoState();
    // Texts of the author label and the mail and homepage links.
    QString AuthorName, AuthorEmail, HomePageHost;
    // Hands a mail or web address to the desktop (tests put a recorder here).
    std::function<void(const QString& url)> openUrl;
    QPointer<QWidget> help, versionHistory, about, credits;
};

// Where the index lives.
struct IndexPlace {
    std::string DbConnect;
    std::string TemplateFile; // fresh.dat, the empty index every run starts from
    bool IsFirstRun = false;
};

struct UiState : InfoState, IndexPlace {
    UiState();

    // The one stop request of an index run: set by the stop commands, read by its walking
    // threads, so it is atomic. (A search has a stop of its own, in the main window.)
    std::atomic<bool> StopRequested{false};
    bool StartupSearch = false;

    // The main window's other windows that exist at most once, while they exist.
    QPointer<QWidget> setup, quickMenu;
    // Opens a folder in the file manager, with or without its tree; "" or why it failed.
    // Tests put a recorder here.
    std::function<std::string(const std::string& folder, bool withTree)> openFolder;
};

} // namespace qvl::ui
