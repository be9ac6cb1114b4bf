#pragma once

#include <QString>

namespace pixelcast {

// The user's guide, docs/guide/index.html in the source tree, installed with the program as
// share/doc/pixelcast/guide/index.html beside its bin folder. Gives the installed guide,
// else the one in `sourceDir` (a build tree run from where it was built), as an absolute
// path; throws Error(UserGuideNotShown) naming both places when neither exists.
[[nodiscard]] QString findUserGuide(const QString& programDir, const QString& sourceDir);

// findUserGuide() for the running program and the source tree it was built from.
[[nodiscard]] QString userGuide();

// Shows userGuide() in the user's browser. Throws Error(UserGuideNotShown) when there is no
// guide or nothing to show it with.
void openUserGuide();

} // namespace pixelcast
