#include "ui/kit/FolderOpener.h"

#include "platform/Platform.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>

#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace qvl::ui {

namespace {

constexpr const char* kFileManager = "org.freedesktop.FileManager1";

bool fileManagerOnBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kFileManager).value();
}

// The file manager shows the folder that holds `folder`, `folder` selected. "" or why not.
std::string showItem(const std::string& folder) {
    if (!fileManagerOnBus())
        return "the desktop offers no file manager service (org.freedesktop.FileManager1)";
    // A file URI carries the path's bytes percent-encoded, so any name survives.
    QByteArray path(folder.data(), static_cast<qsizetype>(folder.size()));
    QString uri = "file://" + QString::fromLatin1(path.toPercentEncoding("/"));
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, "/org/freedesktop/FileManager1",
                                                       kFileManager, "ShowItems");
    call << QStringList{uri} << QString();
    QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage ? std::string() : reply.errorMessage().toStdString();
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace

std::string openFolder(const std::string& folder, bool withTree) {
    if (withTree && showItem(folder).empty())
        return {};
    return platform::startDetached("xdg-open", {folder});
}

bool canShowInParent() {
    return fileManagerOnBus();
}

std::string showInParent(const std::string& folder) {
    // Without its separator at the end, the folder is the item to select, not the place.
    std::string item =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    return showItem(item);
}

std::string openTerminal(const std::string& folder) {
    // The desktop's own choice first (xdg-terminal-exec, Debian's alternative), then the
    // terminals of the common desktops.
    for (const char* terminal : {"xdg-terminal-exec", "x-terminal-emulator", "gnome-terminal", "konsole",
                                 "xfce4-terminal", "xterm"}) {
        if (onPath(terminal))
            return platform::startDetached(terminal, {}, folder);
    }
    return "no terminal program was found (x-terminal-emulator, gnome-terminal, konsole, xterm)";
}

} // namespace qvl::ui
