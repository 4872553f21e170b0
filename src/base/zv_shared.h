// Constants every module of the game agrees on, and the small maths they all use. Module
// constants that restate one of these are tied to it with a static_assert beside them.
#pragma once

namespace zv {

constexpr int SLOTS = 160;           // rider slots of a race, 0..159
constexpr int NO_SLOT = SLOTS;       // "no slot"
constexpr int TICS_PER_SECOND = 128; // the fixed simulation step is 1/128 s
constexpr double TIC = 1.0 / TICS_PER_SECOND;
constexpr int FLAGGER_MARK_TICS = 5 * TICS_PER_SECOND; // the flagger's 5 s mark before the drop
constexpr double PI = 3.14159265358979323846;

template <typename T> constexpr T clamp(T v, T lo, T hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
template <typename T> constexpr T clamp01(T v) {
    return clamp(v, T(0), T(1));
}

} // namespace zv
