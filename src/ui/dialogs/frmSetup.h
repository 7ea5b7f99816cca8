#pragma once
// The setup window: the two settings as check boxes, written back on Save.

#include "ui/UiState.h"
#include "ui/kit/WrapCheckBox.h"

#include <QPushButton>
#include <QToolButton>
#include <QWidget>

#include <functional>

namespace qvl::ui {

class frmSetup : public QWidget {
    Q_OBJECT
public:
    // `syncShadows` brings the main window's shadows in line after a save.
    frmSetup(DialogState& state, std::function<void()> syncShadows);

    ui::WrapCheckBox* chkEffects;
    ui::WrapCheckBox* chkExplorer;
    ui::WrapCheckBox* chkAsYouType; // results as you type
    QToolButton *cmdSave, *cmdCancel;
    QPushButton *cmdMinimize, *Command1;

public slots:
    void cmdSave_Click();
    void CloseForm();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    DialogState& m_state;
    std::function<void()> m_syncShadows;
};

} // namespace qvl::ui
