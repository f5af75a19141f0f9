// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dates/CameraClocks.h"
#include "platform/PropertyReader.h"
#include "rename/Plan.h"

#include <vector>

namespace pelmora {

// Sets the date of each file dated by its date taken (`read` holds what was
// read of each, in the same order) as the photographer means it: moved by
// its camera's clock offset, and for a movie whose time is UTC, when asked,
// shown in the zone where it was shot. That zone is the one written beside
// the photo of the same camera nearest in time (of any camera when the movie
// names none), else the zone chosen for the run, else this computer's.
void correctDates(const DateCorrections &corrections, const std::vector<Metadata> &read,
                  std::vector<PlannedRename> &files);

} // namespace pelmora
