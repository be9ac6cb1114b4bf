#pragma once

#include "display/display_array.h"
#include "module_colour.h"
#include "pixels/render_options.h"

#include <QString>

namespace pixelcast {

// What the window remembers between runs, in the user's settings (QSettings under
// "Pixelcast"): the folder of the last picture, the picture options and the display's size
// and layout, and the colour of the display panel's module. Never the port.
struct WindowSettings {
    QString pictureFolder;
    RenderOptions renderOptions;
    DisplayFormat display;
    ModuleColour moduleColour = ModuleColour::White;
};

[[nodiscard]] WindowSettings readWindowSettings();
void savePictureFolder(const QString& folder);
void saveRenderOptions(const RenderOptions& options);
void saveDisplayFormat(const DisplayFormat& display);
void saveModuleColour(ModuleColour colour);

} // namespace pixelcast
