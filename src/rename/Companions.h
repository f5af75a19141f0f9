// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Files that go with another file: a raw picture and the JPEG the camera
// wrote beside it (one shot), and the sidecars named after a file (edits,
// ratings, a movie's thumbnail). They take no number of their own and move,
// fail and stop with their file.

#include "rename/Operations.h"
#include "rename/NamingInputs.h"
#include "rename/Plan.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace pelmora {

// xmp and aae (edits and ratings), thm (a movie's thumbnail), lrv (a
// low-resolution copy of a movie).
bool isSidecarName(const QString &name);

// A raw picture by its extension (cr2, cr3, nef, nrw, arw, srf, sr2, raf,
// orf, rw2, pef, dng, srw, x3f, 3fr, iiq, erf, kdc, mrw, rwl, any case).
bool isRawName(const QString &name);

// Gives back to the files left out for their extension each raw file taken
// only for a JPEG of its base name (rawMate) whose shot it turns out not to
// share: its date taken lies in another second.
void releaseUnpairedRawMates(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan);

// A sidecar taken out of the plan before the files are named.
struct SetAside {
    PlannedRename file;
    bool leftOutForExtension = false; // and counted as excluded, when the operation counts them
};

// Takes out the sidecars named after a file of the run, from the files of
// the run and from those left out for their extension.
std::vector<SetAside> takeOutSidecars(const OperationRules &rules, const NamingInputs &inputs, RenamePlan &plan);

// Each sidecar follows its file's new name in the form it had ("IMG_1.xmp"
// becomes "<new base>.xmp", "IMG_1.CR2.xmp" "<new name>.xmp") and goes just
// before that file, so that the file never moves without it. A sidecar whose
// file keeps its name keeps its own, and is left out.
void attachSidecars(const OperationRules &rules, std::vector<SetAside> sidecars, RenamePlan &plan);

// The endings the sidecars of each file take after its new name (".xmp"
// after the base name, ".CR2.xmp" after the whole name), by the file's
// former name.
QHash<QString, QStringList> sidecarEndings(const std::vector<PlannedRename> &files,
                                           const std::vector<SetAside> &sidecars);

// The files of a shot stand together, where its first file stands.
void bringShotsTogether(std::vector<PlannedRename> &files);

} // namespace pelmora
