// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"

#include <functional>
#include <vector>

namespace pelmora {

class MetadataSource;

// The cameras of a folder's files, each with its offset from `offsets` and
// what GPS time suggests. Every file is read in full, for its GPS time;
// `tick` is called as each is done, and stops the reading when it answers
// false (the cameras of the files read by then are given).
std::vector<CameraSummary> camerasOf(const QString &folder, MetadataSource &source, const ClockOffsets &offsets,
                                     const ReadTick &tick = {});

} // namespace pelmora
