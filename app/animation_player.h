#pragma once

#include "app_state.h"

#include <QTimer>

#include <cstddef>
#include <functional>

namespace pixelcast {

// Plays an animation: each frame for its delay, as many times as the picture says. A step
// back or on pauses first and wraps round at the ends; played to its end, the animation
// starts again from its first frame when it is played again.
class AnimationPlayer {
public:
    using Show = std::function<void(std::size_t frame)>;
    using Runner = std::function<void(const std::function<void()>&)>;

    // `show` makes a frame the one shown; `run` runs each timed step as the window's other
    // commands run. The animation outlives the player.
    AnimationPlayer(Animation& animation, Show show, Runner run);

    void setPlaying(bool playing);
    void playPause();
    void previous();
    void next();

private:
    void onTimer();

    Animation& m_animation;
    Show m_show;
    Runner m_run;
    QTimer m_timer;
};

} // namespace pixelcast
