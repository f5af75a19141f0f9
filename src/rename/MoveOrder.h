// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// In what order a run moves its files, and which step aside first: the
// steps the executor runs.

#include "rename/Executor.h"
#include "rename/Plan.h"

#include <vector>

namespace pelmora {

// The group of each file: a file with the sidecars just before it, and the
// files of one shot (a RAW+JPEG pair) when shots are kept together.
void assignGroups(RenamePlan &plan);

// Marks every file of a group one of whose files has its new name taken:
// the group cannot run.
void markBlockedGroups(RenamePlan &plan);

// Leaves out the groups none of whose files changes its name (its bytes
// alike): they are not moved, counted as renamed or logged; counted apart.
void leaveUnchangedOut(RenamePlan &plan);

// The order of the moves, and which files need a temporary name: a file
// whose new name another file of the run still bears waits for it; only
// the files of a cycle (a swap) and a rename by letter case alone on a
// folder that cannot tell case apart go through their temporary names.
void orderMoves(RenamePlan &plan, bool caseInsensitive);

// The steps of a run or an undo: first the files that need one to their
// temporary names, then every file to its new name.
std::vector<Step> firstPassSteps(const RenamePlan &plan);
std::vector<Step> secondPassSteps(const RenamePlan &plan);

} // namespace pelmora
