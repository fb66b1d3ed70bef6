#pragma once

#include <QString>
#include <string>

namespace quillmere {

class TDataGrid;

// The desktop shell: opening files and folders with their default
// applications and showing a file's properties. Requests are handed over and
// their results are never examined.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void openUri(const QString &uri) = 0;
    virtual void showItemProperties(const QString &uri) = 0;
};

// The running desktop: GIO's default applications and the file manager's
// org.freedesktop.FileManager1 interface on the session bus.
class DesktopShell : public Shell {
public:
    void openUri(const QString &uri) override;
    void showItemProperties(const QString &uri) override;
};

// The file:// URI of an absolute path, its bytes percent-escaped where needed,
// so a name that is not UTF-8 still reaches the shell as exactly that file.
// Empty for a path that is not absolute.
QString FileUriFromPath(const std::string &path);

// The folder part of a path: everything before its last "/", keeping that "/"
// when it is the first character or follows another "/" ("/a.jpg" gives "/",
// "/photos/a.jpg" gives "/photos", "//a.jpg" gives "//"). Empty when the path
// has no "/".
std::string FolderPart(const std::string &path);

// The result table's pop-up actions on its selected row. Each reads the row's
// Dest cell first, so an empty table raises EListError before the shell is
// asked anything.
void OpenSelectedFile(TDataGrid &grid, Shell &shell);
void OpenSelectedFileFolder(TDataGrid &grid, Shell &shell);
void ShowSelectedFileProperties(TDataGrid &grid, Shell &shell);

} // namespace quillmere
