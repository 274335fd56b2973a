#pragma once

#include <random>

namespace glimmora::test {

/// The timestamp after `previous` as a real camera queue might deliver it: mostly one frame
/// (25 to 42 ms) later, but sometimes repeated, stepped back, nudged by at most the 1 ms floor,
/// or after a long pause.
inline double nextIrregularTimestamp(std::mt19937_64& rng, double previous) {
    std::uniform_int_distribution<int> kind(0, 19);
    switch (kind(rng)) {
        case 0:
            return previous;
        case 1:
            return previous - std::uniform_real_distribution<double>(0.0, 0.05)(rng);
        case 2:
            return previous + std::uniform_real_distribution<double>(0.0, 0.001)(rng);
        case 3:
            return previous + 0.001;
        case 4:
            return previous + std::uniform_real_distribution<double>(0.2, 3.0)(rng);
        default:
            return previous + std::uniform_real_distribution<double>(0.025, 0.042)(rng);
    }
}

/// The next screen coordinate of a wandering gaze: small jitter around `previous` most of the
/// time, now and then a jump anywhere on a large screen.
inline double nextWanderingValue(std::mt19937_64& rng, double previous) {
    if (std::bernoulli_distribution(0.1)(rng)) {
        return std::uniform_real_distribution<double>(-200.0, 3000.0)(rng);
    }
    return previous + std::normal_distribution<double>(0.0, 15.0)(rng);
}

}  // namespace glimmora::test
