#pragma once
// Internals of the picture classes, exposed for their tests only.

#include <cstdint>

namespace htmllabel::internal {

// Frames decoded by every picture of the process so far.
std::uint64_t DecodedFrameCount();

} // namespace htmllabel::internal
