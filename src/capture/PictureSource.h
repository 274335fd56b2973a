#pragma once

namespace glimmora {

class PictureHandOver;

/// Something that delivers desktop pictures to the draw loop: the live desktop capture, or a
/// still image or test pattern where there is no desktop to capture. Pictures go to the
/// hand-over from whatever thread the source works on.
class PictureSource {
public:
    virtual ~PictureSource() = default;

    /// Begins delivering into `handOver`, which must outlive the source or a stop().
    virtual void start(PictureHandOver& handOver) = 0;
    /// Stops delivering; no picture arrives after it returns.
    virtual void stop() = 0;
};

}  // namespace glimmora
