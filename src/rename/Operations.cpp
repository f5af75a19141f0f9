// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/Operations.h"

#include <vector>

namespace pelmora {

namespace {

using D = DateSource;
using N = Naming;
using L = ListRows;
using C = Closing;

// clang-format off
std::vector<OperationRules> makeOperations()
{
    return {
    // operation, name, two passes, counts excluded, date, camera, naming,
    // start number, former name always, length with Option4, FileNameList, log, progress, closing
    {Operation::ShotDate, QStringLiteral("shot-date"),
     true, true, D::Taken, true, N::ByDay, true, false, true, L::Temporary, true, true, C::Counts},
    {Operation::NewNumber, QStringLiteral("new-number"),
     true, true, D::Modified, true, N::ByDay, true, false, false, L::Temporary, true, true, C::Counts},
    {Operation::KeepExisting, QStringLiteral("keep-existing"),
     false, false, D::Modified, false, N::LowestFree, false, false, false, L::Current, false, false, C::Plain},
    {Operation::NewAndExisting, QStringLiteral("new-and-existing"),
     true, true, D::Modified, false, N::ByDay, true, true, false, L::TemporaryNoExt, false, true, C::Counts},
    {Operation::ReplaceText, QStringLiteral("replace"),
     false, true, D::Modified, true, N::Replace, false, false, false, L::None, true, true, C::Counts},
    {Operation::AppendText, QStringLiteral("append"),
     false, true, D::Modified, true, N::Append, false, false, false, L::None, true, true, C::Counts},
    {Operation::Undo, QStringLiteral("undo"),
     true, false, D::None, false, N::Former, false, false, false, L::None, true, true, C::Undone},
    };
}
// clang-format on

} // namespace

const std::vector<OperationRules> &allOperations()
{
    // Built at first use: other files' constants read it while they start.
    static const std::vector<OperationRules> operations = makeOperations();
    return operations;
}

const OperationRules &rulesOf(Operation operation)
{
    return allOperations().at(static_cast<size_t>(operation));
}

const OperationRules *operationNamed(const QString &name)
{
    for (const OperationRules &rules : allOperations()) {
        if (rules.name == name)
            return &rules;
    }
    return nullptr;
}

} // namespace pelmora
