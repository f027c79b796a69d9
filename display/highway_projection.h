// The highway's fixed perspective, as fractions of the highway square: the rows of the
// strike line and the far end, and the width of one lane unit at each. Used by the renderer
// and by the skin generator, which draws the track images in the same perspective.
#pragma once

constexpr double HIGHWAY_ROW_NEAR = 0.765625;
constexpr double HIGHWAY_ROW_FAR = 0.21875;
constexpr double HIGHWAY_SCALE_NEAR = 0.390625;
constexpr double HIGHWAY_SCALE_FAR = 0.1865234375;
