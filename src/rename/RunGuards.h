// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What stops a run before it starts, and what a run leaves open behind it.
// Looking changes nothing.

#include "rename/NamingInputs.h"
#include "rename/Operations.h"
#include "rename/Plan.h"

#include <QString>

namespace pelmora {

class NameDatabase;

// A Start Number that is no whole number, a folder that is not there or
// may not be written; Completed when nothing stops the operation.
OperationOutcome checkInputs(Operation operation, const NamingInputs &inputs);

// What the folder holds that stops a run: another run holding it, files of
// a run cut short still under temporary names (those of a run a recovery
// closed on a copy of this card too), temporary names no record explains.
// Completed when nothing does.
OperationOutcome inspectFolder(const QString &folder, NameDatabase &database);

// The files of a run just applied that are still under temporary names, as
// the run recorded them and as the folder shows them: a file system that
// reported a move it did not make still leaves the run open.
int leftUnderTemporaryNames(RenamePlan &plan);

void refuse(OperationOutcome &outcome, OperationOutcome::Status status, OperationOutcome::Refusal refusal,
            const QString &subject = QString());

} // namespace pelmora
