#include "review/shell.h"

#include "platform/path_text.h"
#include "table/data_grid.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace quillmere {

void DesktopShell::openUri(const QString &uri)
{
    if (uri.isEmpty()) {
        return;
    }
    GError *error = nullptr;
    g_app_info_launch_default_for_uri(uri.toUtf8().constData(), nullptr, &error);
    if (error != nullptr) {
        g_error_free(error);
    }
}

void DesktopShell::showItemProperties(const QString &uri)
{
    if (uri.isEmpty()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItemProperties"));
    call << QStringList {uri} << QString();
    // Sent without waiting: the file manager shows its sheet on its own.
    QDBusConnection::sessionBus().send(call);
}

QString FileUriFromPath(const std::string &path)
{
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
        return {};
    }
    gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (uri == nullptr) {
        return {};
    }
    QString text = QString::fromLatin1(uri);
    g_free(uri);
    return text;
}

std::string FolderPart(const std::string &path)
{
    const std::size_t last = path.rfind('/');
    if (last == std::string::npos) {
        return {};
    }
    const bool keepSeparator = last == 0 || path[last - 1] == '/';
    return path.substr(0, keepSeparator ? last + 1 : last);
}

namespace {
std::string selectedPath(TDataGrid &grid)
{
    return textToPath(grid.CellAt(QStringLiteral("Dest"), grid.SelectedRowIndex()).text());
}
} // namespace

void OpenSelectedFile(TDataGrid &grid, Shell &shell)
{
    shell.openUri(FileUriFromPath(selectedPath(grid)));
}

void OpenSelectedFileFolder(TDataGrid &grid, Shell &shell)
{
    shell.openUri(FileUriFromPath(FolderPart(selectedPath(grid))));
}

void ShowSelectedFileProperties(TDataGrid &grid, Shell &shell)
{
    shell.showItemProperties(FileUriFromPath(selectedPath(grid)));
}

} // namespace quillmere
