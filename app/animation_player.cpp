#include "animation_player.h"

#include <utility>

namespace pixelcast {

AnimationPlayer::AnimationPlayer(Animation& animation, Show show, Runner run)
    : m_animation(animation), m_show(std::move(show)), m_run(std::move(run))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { m_run([this] { onTimer(); }); });
}

void AnimationPlayer::setPlaying(bool playing)
{
    m_animation.playing = playing && m_animation.isAnimated();
    if (m_animation.playing) {
        m_animation.playsDone = 0;
        m_timer.start(m_animation.frames[m_animation.current].delayMs);
    } else {
        m_timer.stop();
    }
}

void AnimationPlayer::onTimer()
{
    if (!m_animation.playing) {
        return;
    }
    std::size_t following = m_animation.current + 1;
    if (following == m_animation.frames.size()) {
        ++m_animation.playsDone;
        if (m_animation.plays != 0 && m_animation.playsDone >= m_animation.plays) {
            m_animation.playing = false;
            return;
        }
        following = 0;
    }
    m_show(following);
    m_timer.start(m_animation.frames[following].delayMs);
}

void AnimationPlayer::playPause()
{
    if (!m_animation.isAnimated()) {
        return;
    }
    if (!m_animation.playing && m_animation.plays != 0 &&
        m_animation.current + 1 == m_animation.frames.size()) {
        m_show(0);
    }
    setPlaying(!m_animation.playing);
}

void AnimationPlayer::previous()
{
    if (m_animation.isAnimated()) {
        setPlaying(false);
        const std::size_t count = m_animation.frames.size();
        m_show((m_animation.current + count - 1) % count);
    }
}

void AnimationPlayer::next()
{
    if (m_animation.isAnimated()) {
        setPlaying(false);
        m_show((m_animation.current + 1) % m_animation.frames.size());
    }
}

} // namespace pixelcast
