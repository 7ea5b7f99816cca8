#pragma once
// The two user settings, in the per-user settings store: application "QVL", group
// "Setup", keys "ExplorerMode" and "VisualEffects", each the decimal text "1" or "0".

#include <cstdint>

namespace qvl::ui {

// Missing keys read as 1; a stored text that is not a 16-bit number makes both 1.
void LoadSettings(int16_t& explorerMode, int16_t& visualEffects);
// False when the store could not be written.
bool SaveSettings(int16_t explorerMode, int16_t visualEffects);

// Results as you type, key "AsYouType" of the same group: off unless it is "1".
bool LoadAsYouType();
// False when the store could not be written.
bool SaveAsYouType(bool on);

} // namespace qvl::ui
