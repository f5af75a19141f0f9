// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an undo does: the files of the last finished run not undone yet, back
// to their former names, last first.

#include "rename/Journal.h"
#include "rename/Plan.h"

#include <QTime>

namespace pelmora {

class NameDatabase;

// The undo of the last run, for the question and for --dry-run alike.
// Refuses while a run cut short has files under temporary names, or while
// the last run's folder is not there. Completed with the plan in the
// outcome, or why there is nothing to undo. Looking changes nothing.
OperationOutcome planLastUndo(NameDatabase &database, const QTime &now);

// An undo planned earlier (before a question, say) still undoes the last
// run; a database that cannot tell throws.
bool stillUndoable(const RenamePlan &plan, NameDatabase &database);

} // namespace pelmora
