#pragma once

#include "pixels/render_options.h"

#include <QString>

namespace pixelcast {

// What the window remembers between runs, in the user's settings (QSettings under
// "Pixelcast"): the folder of the last picture and the picture options. Never the port.
struct WindowSettings {
    QString pictureFolder;
    RenderOptions renderOptions;
};

[[nodiscard]] WindowSettings readWindowSettings();
void savePictureFolder(const QString& folder);
void saveRenderOptions(const RenderOptions& options);

} // namespace pixelcast
