#pragma once
// A drop shadow beside the main window: a borderless black strip at 30 % opacity that
// takes no input and no focus.

#include "ui/UiState.h"

#include <QWidget>

namespace qvl::ui {

class frmShadow : public QWidget {
    Q_OBJECT
public:
    frmShadow(const SettingsState& state, const char* name);
};

} // namespace qvl::ui
