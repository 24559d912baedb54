// The plug-in's values of pi. They differ on purpose: each is the value its
// computation has always used, and results are kept bit for bit.
#pragma once

namespace sowfield {

inline constexpr double kPanelPi = 3.1415;                // the panel's default angles
inline constexpr double kPi = 3.1415926535898;            // site headings
inline constexpr double kHalfPi = 1.5707963267949;        // site headings
inline constexpr double kPiSingle = 3.1415927410125732;  // pi rounded to single precision: random headings

}  // namespace sowfield
