#include "ui/Settings.h"

#include <QSettings>

namespace qvl::ui {

void LoadSettings(int16_t& explorerMode, int16_t& visualEffects) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
    settings.beginGroup("Setup");
    bool okExplorer = false, okEffects = false;
    short explorer = settings.value("ExplorerMode", "1").toString().trimmed().toShort(&okExplorer);
    short effects = settings.value("VisualEffects", "1").toString().trimmed().toShort(&okEffects);
    if (settings.status() != QSettings::NoError || !okExplorer || !okEffects) {
        explorerMode = visualEffects = 1;
        return;
    }
    explorerMode = explorer;
    visualEffects = effects;
}

bool SaveSettings(int16_t explorerMode, int16_t visualEffects) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
    settings.beginGroup("Setup");
    settings.setValue("ExplorerMode", QString::number(explorerMode));
    settings.setValue("VisualEffects", QString::number(visualEffects));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool LoadAsYouType() {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
    settings.beginGroup("Setup");
    return settings.value("AsYouType", "0").toString().trimmed() == "1";
}

bool SaveAsYouType(bool on) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
    settings.beginGroup("Setup");
    settings.setValue("AsYouType", on ? "1" : "0");
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace qvl::ui
