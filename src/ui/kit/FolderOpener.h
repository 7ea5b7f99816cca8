#pragma once
// Opening a folder in the desktop's file manager. Uses Qt (D-Bus); part of the window
// library, not of the core.

#include <string>

namespace qvl::ui {

// Opens `folder` (raw bytes, as stored). With the folder tree, the file manager shows it
// within its parent where the desktop offers that (the FileManager1 service on the
// session bus); otherwise, and for the plain form, `xdg-open FOLDER`. Returns "" or why
// it could not be opened.
std::string openFolder(const std::string& folder, bool withTree);

// Whether the file manager can show a folder selected in its parent: where the desktop
// offers the FileManager1 service on the session bus; on Windows, Explorer always can.
bool canShowInParent();
// Shows the folder that holds `folder`, with `folder` selected. "" or why it could not.
std::string showInParent(const std::string& folder);
// Starts a terminal whose working folder is `folder`. "" or why it could not.
std::string openTerminal(const std::string& folder);

} // namespace qvl::ui
