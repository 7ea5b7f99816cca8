#pragma once
// The help window (frmHelp) and the version-history window (frmHistory): a document in a
// rich-text view under a title strip, with OK, the mail and homepage links, minimise and
// close. Which one is chosen at construction.

#include "ui/UiState.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QWidget>

#include <functional>

namespace qvl::ui {

class ClickLabel;

class frmDocument : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Help, History };
    // `showHistory` opens the version history (the help window's button).
    frmDocument(InfoState& state, Kind kind, std::function<void()> showHistory = {});

    QTextBrowser* RichTextBox1;
    QToolButton* cmdOk;
    QToolButton* cmdHistory = nullptr;
    QPushButton *cmdMinimize, *cmdClose;
    ClickLabel *lblEmail, *lblHomepage;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    InfoState& m_state;
};

} // namespace qvl::ui
