#include "ui/dialogs/Documents.h"

namespace qvl::ui {

namespace {

QString heading(const char* text) {
    return QString("<p><b><u><span style=\"color:#000080\">%1</span></u></b></p>").arg(text);
}

} // namespace

QString helpDocument() {
    QString d;
    d += "<p align=\"center\"><span style=\"font-size:16pt\"><b>Quorvel</b></span> (QVL)</p>";
    d += "<p align=\"center\"><b>Quick Help:</b></p>";
    d += heading("Purpose:") +
         "<p>Quorvel finds folders by name on your local and network drives in a split second.</p>";
    d += heading("Why use Quorvel and not a usual Find feature?") +
         "<p>A usual Find walks the disks every time you ask. Quorvel asks a small index of folder names "
         "instead, so a search over hundreds of thousands of folders takes a blink, and the disks stay "
         "quiet.</p>";
    d +=
        heading("Layout:") +
        "<p>The main window has two sections: the drive scan section (the upper part), where you choose the "
        "drives and build the index, and the find section (the lower part), where you search it and see the "
        "hits. Pressing ALT-P in the main window shows a number beside each section; pressing it again hides "
        "them.</p>";
    d +=
        heading("Usage:") +
        "<p>Tick the drives to scan and press \"Index Drives\" once. From then on you only search. Index "
        "again "
        "only when the folders on your drives have changed; a new index replaces the old one, and the search "
        "history starts over.</p>";
    d += heading("Searching") +
         "<p>Type the name of the folder and press Find or Enter (F3 works too, F9 stops a long listing). "
         "Choose a containing search (the name contains the text; % stands for any run of characters and _ "
         "for "
         "one character) or an exact search, and all indexed drives or only the drives ticked above. Case is "
         "ignored. Double-click a hit to open the folder; a click on the picture beside the search box shows "
         "the texts you searched for before.</p>";
    d +=
        heading("Setup") +
        "<p>Two options: transparency effects (fading, see-through windows and the shadows of the main "
        "window), which are ignored where the system cannot show them, for example on a Linux desktop "
        "without "
        "a compositing manager; and whether a folder opens with the folder tree beside it (two-pane Explorer "
        "on Windows; on Linux the file manager shows the folder within its parent where the desktop offers "
        "that).</p>";
    d +=
        heading("Technique (the idea behind writing QVL)") +
        "<p>Folders change rarely, searches happen often. Walking every folder of every drive once, and "
        "keeping just their names and paths in one small database file (Files.dat), makes every later search "
        "a look at that file instead of a walk over the disks.</p>";
    d += heading("Command Lines:") +
         "<p>Start the program directly, or with a folder name on its command line: for example <b>QVL "
         "windows</b> opens the first folder named exactly windows in the file browser. On Linux the program "
         "is <b>quorvel</b>, and <b>qvl</b> is a command-line tool for scripts: qvl find, qvl index, qvl "
         "drives, qvl history.</p>";
    d +=
        heading("OS Support:") +
        "<p>Windows, where it was born, and Linux (X11 or Wayland). On Windows the index needs the "
        "data-access "
        "components (MDAC) version 2.5 or later; the program warns at start-up when they are older. On Linux "
        "the index uses the system's SQLite library.</p>";
    return d;
}

QString historyDocument() {
    QString d;
    d += "<p align=\"center\"><span style=\"font-size:16pt\"><b>Quorvel</b></span></p>";
    d += "<p><b><u>Version History:</u></b></p>";
    struct Release {
        const char *version, *date;
        bool published;
        std::initializer_list<const char*> changes;
    };
    const Release releases[] = {
        {"1.0.1a",
         "2026-12-06",
         true,
         {"The index lives in an SQLite database; searches read it instead of the disks.",
          "Linux: drives are the mounted file systems; folders open in the desktop's file manager.",
          "qvl, the command-line tool, on the same index.",
          "Folder names with periods are indexed; case is ignored for every language."}},
        {"1.0.0", "2026-11-20", false, {"First complete program: index, search, history, setup."}},
        {"0.9", "2026-11-02", false, {"The index and the search, without the windows."}},
    };
    for (const Release& r : releases) {
        QString style = r.published ? "" : " style=\"color:#808080\"";
        d += QString("<p%1>%2<b><span style=\"color:#800000\">%3</span></b> - %4%5%6</p>")
                 .arg(style, r.published ? "" : "<i>", r.version, r.date,
                      r.published ? "" : " - not a public release.", r.published ? "" : "</i>");
        for (const char* change : r.changes)
            d += QString("<p style=\"margin-left:24px%1\">%2</p>")
                     .arg(r.published ? "" : "; color:#808080", change);
    }
    return d;
}

} // namespace qvl::ui
