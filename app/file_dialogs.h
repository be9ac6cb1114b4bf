#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace pixelcast {

// Dialog flags, with the values of the classic common-dialog bits.
inline constexpr int kFileMustExist = 0x1000;
inline constexpr int kOverwritePrompt = 0x2;

enum class DialogKind { Open, Save };

// Everything one showing of a file dialog needs.
struct FileDialogRequest {
    DialogKind kind = DialogKind::Open;
    QString title;
    // Alternating descriptions and ';'-separated pattern lists, each followed by '|':
    // "Pictures (*.gif;*.bmp)|*.gif;*.bmp|".
    QString filter;
    int flags = 0;
    // Pre-filled: the file name chosen last, or empty.
    QString fileName;
    // Where the dialog opens while no file name is pre-filled; empty for the working folder.
    QString folder;
    // Added to a typed name without an extension ("h" makes "logo" "logo.h"); empty adds
    // nothing.
    QString defaultSuffix;
};

// One entry of the file-type list: the text the user sees and the patterns it applies.
struct NameFilter {
    QString description;
    QStringList patterns;

    friend bool operator==(const NameFilter&, const NameFilter&) = default;
};

// Splits a filter string into its entries. Descriptions are kept exactly, blanks
// included; empty patterns (from a trailing ';') are dropped, and so is a description
// without a pattern list.
[[nodiscard]] std::vector<NameFilter> parseFilter(const QString& filter);

// Shows a real modal file dialog.
class FileDialogBackend {
public:
    FileDialogBackend() = default;
    FileDialogBackend(const FileDialogBackend&) = delete;
    FileDialogBackend& operator=(const FileDialogBackend&) = delete;
    virtual ~FileDialogBackend() = default;

    // The chosen file's full path, or nothing when the user cancelled. Throws Error when
    // the dialog cannot be prepared, shown or read.
    [[nodiscard]] virtual std::optional<QString> show(const FileDialogRequest& request) = 0;
};

// The window's one dialog object. Its settings live as long as it does, above all the
// file name chosen last, which both dialogs open with (so the save dialog proposes the
// last picture's path until something has been saved). The two questions never fail:
// a cancel gives the empty string silently, any other dialog failure shows its
// description and gives the empty string.
class FileDialogs {
public:
    using MessageSink = std::function<void(const QString&)>;

    FileDialogs(FileDialogBackend& backend, MessageSink showMessage);

    // The full path of an existing picture file, or empty.
    [[nodiscard]] QString askOpenImageFile();
    // The full path for the array file, or empty.
    [[nodiscard]] QString askSaveArrayFile();
    // The full path for an exported C header, X bitmap or preview PNG, or for an
    // animation's arrays (with the array file's title and filter), or empty. Given the
    // picture shown, the dialog suggests its base name with the export's extension in its
    // folder; without one it opens as the others do. A name typed without an extension
    // gets the export's.
    [[nodiscard]] QString askSaveHeaderFile(const QString& picture);
    [[nodiscard]] QString askSaveXbmFile(const QString& picture);
    [[nodiscard]] QString askSavePreviewFile(const QString& picture);
    [[nodiscard]] QString askSaveAnimationFile(const QString& picture);
    [[nodiscard]] QString askSaveAnimationHeaderFile(const QString& picture);

    [[nodiscard]] const QString& fileName() const { return m_fileName; }
    // A file loaded without the dialog (from the command line, dropped): the dialogs open
    // with it as with a chosen one.
    void setFileName(const QString& fileName) { m_fileName = fileName; }
    // The folder the dialogs open in until a file has been chosen.
    void setStartFolder(const QString& folder) { m_startFolder = folder; }
    // A folder the program removes when it ends (the one pasted pictures are kept in): a
    // save dialog never suggests a place in it, but the folder saved to last, else the
    // user's Pictures folder, else the home folder, with the suggested file name.
    void setScratchFolder(const QString& folder) { m_scratchFolder = folder; }

private:
    // Suggests `suggestion` when it is not empty, else the file name chosen last.
    [[nodiscard]] QString ask(DialogKind kind, const QString& suggestion = {});
    // `path`, moved out of the scratch folder into a folder the user keeps.
    [[nodiscard]] QString outsideScratch(const QString& path) const;
    // An export's dialog: saves with an overwrite prompt and adds `suffix` to a bare name.
    [[nodiscard]] QString askExport(const QString& title, const QString& filter,
                                    const QString& suffix, const QString& picture);

    FileDialogBackend& m_backend;
    MessageSink m_showMessage;
    QString m_filter;
    int m_flags = 0;
    QString m_title;
    QString m_defaultSuffix;
    QString m_fileName;
    QString m_startFolder;
    QString m_scratchFolder;
    QString m_saveFolder;
};

} // namespace pixelcast
