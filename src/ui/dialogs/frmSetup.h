#pragma once
// The setup window: the settings as check boxes and the folders every index leaves out as
// text, one rule a line, written back on Save.

#include "indexer/LeaveOut.h"
#include "ui/UiState.h"
#include "ui/kit/WrapCheckBox.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include <filesystem>
#include <functional>

namespace qvl::ui {

class frmSetup : public QWidget {
    Q_OBJECT
public:
    // `syncShadows` brings the main window's shadows in line after a save; the rules of the
    // folders to leave out are those of the data folder `dataDir`.
    frmSetup(DialogState& state, std::filesystem::path dataDir, std::function<void()> syncShadows);

    ui::WrapCheckBox* chkEffects;
    ui::WrapCheckBox* chkExplorer;
    ui::WrapCheckBox* chkAsYouType; // results as you type
    QLabel* lblLeaveOut;
    QPlainTextEdit* txtLeaveOut; // the folders to leave out, one rule a line
    QToolButton *cmdSave, *cmdCancel;
    QPushButton *cmdMinimize, *Command1;

public slots:
    void cmdSave_Click();
    void CloseForm();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    DialogState& m_state;
    std::filesystem::path m_dataDir;
    indexer::LeaveOut m_rules; // as the file has them
    std::function<void()> m_syncShadows;
};

} // namespace qvl::ui
