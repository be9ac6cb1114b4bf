#pragma once

#include <QString>

#include <stdexcept>

namespace pixelcast {

// The stable numbers of every failure the user can meet. They are shown in the message
// box and by the converter, and listed in the user's guide; never renumber one.
enum class ErrorCode : int {
    // Reading pictures
    FileNotFound = 1001,
    FileUnreadable = 1002,
    NotAPicture = 1003,
    PictureTooLarge = 1004,
    PictureDamaged = 1005,
    MetafileFailed = 1006,
    MetafileTimedOut = 1007,
    MetafileHelperMissing = 1008,
    NotEnoughMemory = 1009,
    SvgFailed = 1010,
    SvgTimedOut = 1011,
    SvgHelperMissing = 1012,
    PictureReaderMissing = 1013,
    // Writing the array file
    ArrayFileNotWritten = 2001,
    // The serial link
    PortNotPresent = 3001,
    PortBusy = 3002,
    PortNoPermission = 3003,
    PortNotOpen = 3004,
    PortLost = 3005,
    PortOpenFailed = 3006,
    PortBadSettings = 3007,
    PortWriteFailed = 3008,
    PortStillOpen = 3009,
    PortPictureSizeUnsupported = 3010,
    // The live link
    LinkNoAnswer = 3011,
    LinkBoardGone = 3012,
    LinkSizeMismatch = 3013,
    LinkBoardUnsupported = 3014,
    // The command line of the converter
    UsageError = 4001,
    PreviewNotWritten = 4002,
    // The window's help
    UserGuideNotShown = 5001,
};

// A failure with its number and a description for the user. Every command failure
// travels as one of these to the one place that shows it.
class Error : public std::runtime_error {
public:
    Error(ErrorCode code, const QString& description);

    [[nodiscard]] ErrorCode code() const { return m_code; }
    [[nodiscard]] int number() const { return static_cast<int>(m_code); }
    [[nodiscard]] const QString& description() const { return m_description; }

    // "Error 1003: <description>", the form both programs show.
    [[nodiscard]] QString message() const;

private:
    ErrorCode m_code;
    QString m_description;
};

} // namespace pixelcast
