#include "ui/main/frmShadow.h"

#include "ui/kit/mdlLayeredWindow.h"

namespace qvl::ui {

frmShadow::frmShadow(const SettingsState& state, const char* name)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint) {
    setObjectName(name);
    setWindowTitle("Shadow");
    setAttribute(Qt::WA_ShowWithoutActivating);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);
    SetTransparency(state.VisualEffects, this, 30, /*force=*/true);
}

} // namespace qvl::ui
