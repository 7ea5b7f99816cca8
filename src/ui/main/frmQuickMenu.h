#pragma once
// The quick menu: a small borderless pop-up with the six main commands, opened at the
// pointer by a right-press on the main window; each button hands its word to FakePress.

#include "ui/UiState.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <functional>

namespace qvl::ui {

class ClickLabel;

class frmQuickMenu : public QWidget {
    Q_OBJECT
public:
    static constexpr std::array<const char*, 6> kCommands = {"find", "stop",  "index",
                                                             "help", "about", "history"};

    // `fakePress` runs a command word on the main window.
    frmQuickMenu(const SettingsState& state, std::function<void(const QString&)> fakePress);

    ClickLabel* Label1;
    QPushButton* cmdClose;
    std::array<QPushButton*, 6> Command{};

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const SettingsState& m_state;
};

} // namespace qvl::ui
