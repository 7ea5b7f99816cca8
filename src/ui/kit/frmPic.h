#pragma once
// The picture holder: a window that is never shown and only carries the pictures of the
// picture buttons and the two link pointers, which other windows copy when they load.
// Its buttons are named cmdOk, cmdCancel, cmdSetup, cmdIndex, cmdStop1, cmdHG (find),
// cmdHelp, cmdEmail and cmdIE; the pictures are drawn here.

#include <QCursor>
#include <QIcon>
#include <QWidget>

namespace qvl::ui {

class frmPic : public QWidget {
    Q_OBJECT
public:
    frmPic();
    // The picture of the button `name`; a null icon for another name.
    QIcon picture(const char* name) const;
    // The mouse pointer made from the picture of `name` (cmdEmail, cmdIE).
    QCursor pointer(const char* name) const;
};

} // namespace qvl::ui
