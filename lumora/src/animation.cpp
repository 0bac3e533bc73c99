// Lumorel: the frame counter that animates the icon. The control holds no
// pictures; at each tick of tmrAnima it hands the host the next frame number,
// and the host shows that frame with ModifyTrayIcon.
#include "log.h"
#include "lumorel.h"

using namespace automation;

namespace lumora {

namespace {

// The periods a timer takes; 0 switches its ticks off.
constexpr std::int32_t MaxInterval = 65535;

} // namespace

// From a pause it resumes the kept range and counter; otherwise it starts the
// given range afresh. The first tick comes one period later.
Result<> Lumorel::startAnimation(std::int32_t first, std::int32_t last) {
    if (!paused_) {
        firstFrameNo_ = first;
        lastFrameNo_ = last;
        frameNo_ = first;
    }
    paused_ = false;
    tmrAnima_.setInterval(tmrAnima_.interval()); // restarts the countdown when running
    tmrAnima_.setEnabled(true);
    std::vector<Variant> none;
    return raiseEvent(dispid::AnimationStartedEvent, none);
}

Result<> Lumorel::pauseAnimation() {
    paused_ = true;
    tmrAnima_.setEnabled(false);
    std::vector<Variant> none;
    return raiseEvent(dispid::AnimationPausedEvent, none);
}

// Leaves a pause in place: the next start resumes it.
Result<> Lumorel::stopAnimation(bool returnIcon) {
    if (returnIcon)
        TRY(trapped("ReturnTrayIcon", returnTrayIcon()));
    tmrAnima_.setEnabled(false);
    std::vector<Variant> none;
    return raiseEvent(dispid::AnimationStoppedEvent, none);
}

Result<> Lumorel::setAnimationInterval(std::int32_t ms) {
    if (ms < 0 || ms > MaxInterval)
        return Result<>::fail(err::InvalidPropertyValue, {}, ProgId);
    tmrAnima_.setInterval(ms);
    return {};
}

// The counter moves on before the event and wraps to the first frame past the
// last one; at the top of the 32-bit range it wraps too, never overflowing.
// The host's Index is the counter itself: what it writes there counts.
void Lumorel::tick() {
    frameNo_ = frameNo_ >= lastFrameNo_ ? firstFrameNo_ : frameNo_ + 1;
    std::vector<Variant> args{Variant(frameNo_)};
    if (!raiseLogged(dispid::AnimationEvent, args))
        return;
    if (const Result<std::int32_t> index = args[0].toI4())
        frameNo_ = *index;
    else
        qCWarning(lcLumora) << "the host's Index is no frame number:" << args[0].describe();
}

} // namespace lumora
