#pragma once

#include "app/file_dialogs.h"

class QWidget;

namespace pixelcast {

// The file dialogs as Qt's own widget-based QFileDialog: the same on every desktop, in
// the user's language once Qt's translations are installed.
class QtFileDialogBackend : public FileDialogBackend {
public:
    explicit QtFileDialogBackend(QWidget* parent) : m_parent(parent) {}

    [[nodiscard]] std::optional<QString> show(const FileDialogRequest& request) override;

private:
    QWidget* m_parent = nullptr;
};

} // namespace pixelcast
