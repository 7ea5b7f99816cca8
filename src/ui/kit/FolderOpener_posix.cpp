#include "ui/kit/FolderOpener.h"

#include "platform/Platform.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>

namespace qvl::ui {

namespace {

bool showInFileManager(const std::string& folder) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered("org.freedesktop.FileManager1").value())
        return false;
    // A file URI carries the path's bytes percent-encoded, so any name survives.
    QByteArray path(folder.data(), static_cast<qsizetype>(folder.size()));
    QString uri = "file://" + QString::fromLatin1(path.toPercentEncoding("/"));
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{uri} << QString();
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

} // namespace

std::string openFolder(const std::string& folder, bool withTree) {
    if (withTree && showInFileManager(folder))
        return {};
    return platform::startDetached("xdg-open", {folder});
}

} // namespace qvl::ui
