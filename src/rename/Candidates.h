// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/PropertyReader.h"
#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"

namespace pelmora {

class ProgressSink;

// The files of the folder that take part, each with its identity, date and
// camera; the others are left out with their reason. Metadata is read for
// all of them at once from `source`; a stop asked for on `progress` while
// it reads leaves the plan cancelled.
void collectCandidates(const OperationRules &rules, const NamingInputs &inputs, MetadataSource &source,
                       ProgressSink *progress, RenamePlan &plan);

} // namespace pelmora
