// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/RunGuards.h"

#include "platform/FileSystem.h"
#include "rename/Journal.h"
#include "database/NameDatabase.h"
#include "rename/Recovery.h"

#include <QDir>
#include <QSet>

namespace pelmora {

using Status = OperationOutcome::Status;
using Refusal = OperationOutcome::Refusal;

void refuse(OperationOutcome &outcome, Status status, Refusal refusal, const QString &subject)
{
    outcome.status = status;
    outcome.refusal = refusal;
    outcome.subject = subject;
}

namespace {

// The first character of a text that becomes part of the new names that no
// name may hold there: '/' and NUL anywhere, and what the volume forbids.
bool refuseUnusableText(Operation operation, const NamingInputs &inputs, OperationOutcome &outcome)
{
    using TextBox = OperationOutcome::TextBox;
    const Naming naming = rulesOf(operation).naming;
    if (naming == Naming::Former)
        return false;
    std::vector<std::pair<TextBox, const QString *>> written = {{TextBox::Post, &inputs.postText}};
    // Replace looks for its Pre Text; Append writes the Post Text alone.
    if (naming != Naming::Replace && naming != Naming::Append)
        written.insert(written.begin(), {TextBox::Pre, &inputs.preText});
    QString forbidden;
    bool volumeRead = false;
    for (const auto &[box, text] : written) {
        for (const QChar c : *text) {
            const bool everywhere = c == u'/' || c == QChar(0);
            if (!everywhere && !volumeRead) {
                forbidden = fs::charactersForbiddenIn(inputs.folder);
                volumeRead = true;
            }
            if (everywhere || forbidden.contains(c)) {
                refuse(outcome, Status::TextUnusable, Refusal::UnusableText, QString(c));
                outcome.textBox = box;
                outcome.count = everywhere ? 0 : 1;
                return true;
            }
        }
    }
    return false;
}

} // namespace

OperationOutcome checkInputs(Operation operation, const NamingInputs &inputs)
{
    OperationOutcome outcome;
    if (rulesOf(operation).readsStartNumber && !wholeNumber(inputs.startNumber)) {
        refuse(outcome, Status::StartNumberInvalid, Refusal::StartNumber, inputs.startNumber);
        return outcome;
    }
    if (refuseUnusableText(operation, inputs, outcome))
        return outcome;
    if (inputs.folder.isEmpty() || !QDir(inputs.folder).exists()) {
        refuse(outcome, Status::FolderMissing, Refusal::FolderMissing, inputs.folder);
    } else if (const int refusal = fs::writeRefusal(inputs.folder)) {
        refuse(outcome, Status::FolderReadOnly, Refusal::FolderNotWritable, inputs.folder);
        outcome.error = refusal;
    }
    return outcome;
}

OperationOutcome inspectFolder(const QString &folder, NameDatabase &database)
{
    OperationOutcome outcome;
    outcome.folder = fs::canonicalFolder(folder);
    const fs::FolderLock lock(outcome.folder);
    if (!lock.held()) {
        refuse(outcome, Status::FolderBusy, Refusal::FolderBusy, folder);
        return outcome;
    }
    try {
        const int waiting = filesAwaitingRestore(database, outcome.folder);
        if (waiting > 0) {
            refuse(outcome, Status::UnfinishedRun, Refusal::RecoverFirst, outcome.folder);
            outcome.count = waiting;
            return outcome;
        }
        // Temporary names that no record explains: the record of their run
        // was lost, and only the user can tell which name was whose. One a
        // recorded run explains (an editor saved under it after the run)
        // is left alone.
        QStringList stray;
        for (const QString &name : fs::listPlainFiles(outcome.folder)) {
            if (isTemporaryName(name) && !journal::runWithKey(database, runKeyOf(name)))
                stray << name;
        }
        if (!stray.isEmpty()) {
            refuse(outcome, Status::StrayTemporaryNames, Refusal::StrayTemporaryNames, outcome.folder);
            outcome.names = stray;
        }
    } catch (const DatabaseError &error) {
        refuse(outcome, Status::DatabaseUnavailable, Refusal::Database);
        outcome.databaseFailure = error.failure();
    }
    return outcome;
}

int leftUnderTemporaryNames(RenamePlan &plan)
{
    QSet<QString> listed;
    bool anyTemporary = false;
    for (const PlannedRename &file : plan.files)
        anyTemporary = anyTemporary || file.viaTemporary || file.state == FileState::Temporary;
    if (anyTemporary) {
        for (const QString &name : fs::listPlainFiles(plan.folder))
            listed.insert(name);
    }
    int left = 0;
    for (PlannedRename &file : plan.files) {
        if (!file.temporaryName.isEmpty() && listed.contains(file.temporaryName) && file.state != FileState::Temporary
            && file.cause != FailureCause::LeftTemporary) {
            file.state = FileState::Failed;
            file.cause = FailureCause::LeftTemporary;
        }
        if (file.state == FileState::Temporary || file.cause == FailureCause::LeftTemporary)
            ++left;
    }
    return left;
}

} // namespace pelmora
