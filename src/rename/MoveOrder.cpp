// SPDX-License-Identifier: GPL-3.0-or-later
#include "rename/MoveOrder.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <numeric>

namespace pelmora {

void assignGroups(RenamePlan &plan)
{
    std::vector<PlannedRename> &files = plan.files;
    // The shot of the file at i, or of the file a sidecar at i follows.
    const auto shotOf = [&](size_t i) -> const QString & {
        while (files[i].companion && i + 1 < files.size())
            ++i;
        return files[i].shot;
    };
    int group = -1;
    for (size_t i = 0; i < files.size(); ++i) {
        const bool joins = i > 0
            && (files[i - 1].companion
                || (plan.keepShotsTogether && !shotOf(i).isEmpty() && shotOf(i) == shotOf(i - 1)));
        files[i].group = joins ? group : ++group;
    }
}

void markBlockedGroups(RenamePlan &plan)
{
    QSet<int> blocked;
    for (const PlannedRename &file : plan.files) {
        if (file.nameTaken)
            blocked.insert(file.group);
    }
    for (PlannedRename &file : plan.files)
        file.blocked = blocked.contains(file.group);
}

void leaveUnchangedOut(RenamePlan &plan)
{
    QSet<int> moving;
    for (const PlannedRename &file : plan.files) {
        if (file.newName != file.formerName)
            moving.insert(file.group);
    }
    std::vector<PlannedRename> kept;
    for (PlannedRename &file : plan.files) {
        if (moving.contains(file.group)) {
            kept.push_back(std::move(file));
        } else {
            plan.leftOut.push_back({file.formerName, LeftOut::Reason::Unchanged});
            ++plan.unchanged;
        }
    }
    plan.files = std::move(kept);
}

void orderMoves(RenamePlan &plan, bool caseInsensitive)
{
    std::vector<PlannedRename> &files = plan.files;
    const auto key = [&](const QString &name) { return fs::nameKey(name, caseInsensitive); };
    QHash<QString, size_t> holder;
    for (size_t i = 0; i < files.size(); ++i)
        holder.insert(key(files[i].formerName), i);
    // Groups in the order of their first file, each with its files.
    std::vector<std::vector<size_t>> members;
    QHash<int, size_t> groupIndex;
    for (size_t i = 0; i < files.size(); ++i) {
        auto found = groupIndex.constFind(files[i].group);
        if (found == groupIndex.constEnd()) {
            found = groupIndex.insert(files[i].group, members.size());
            members.emplace_back();
        }
        members[*found].push_back(i);
    }
    // The file whose former name file i takes, if any.
    std::vector<std::optional<size_t>> waitsFor(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const auto found = holder.constFind(key(files[i].newName));
        if (found == holder.constEnd())
            continue;
        if (*found == i) {
            // Its new name differs in letter case alone, and the folder
            // takes both for one name.
            files[i].viaTemporary = files[i].newName != files[i].formerName;
        } else if (files[*found].group == files[i].group) {
            files[i].viaTemporary = files[*found].viaTemporary = true; // within one group: both step aside
        } else {
            waitsFor[i] = *found;
        }
    }
    // Depth first over the groups, in their order: a group goes after those
    // it waits for. A group met again while its own turn is still being
    // worked out closes a cycle: the files of every group on it step aside
    // under temporary names first, which frees their former names. A first
    // walk finds the cycles, a second one the order, which keeps the order
    // of the plan wherever no wait says otherwise, except that the groups
    // that stepped aside come as early as their waits allow: a stop is taken
    // only once none is left aside.
    enum class Mark { New, Open, Placed };
    std::vector<Mark> mark;
    std::vector<size_t> order;
    std::vector<size_t> open;         // groups being worked out, outermost first
    std::vector<size_t> nextMember;   // per open group: how far its files' waits are looked at
    const auto waitedGroup = [&](size_t i) -> std::optional<size_t> {
        if (!waitsFor[i] || files[*waitsFor[i]].viaTemporary)
            return std::nullopt;
        return groupIndex.value(files[*waitsFor[i]].group);
    };
    std::vector<size_t> roots(members.size());
    std::iota(roots.begin(), roots.end(), size_t(0));
    for (int walk = 0; walk < 2; ++walk) {
    mark.assign(members.size(), Mark::New);
    order.clear();
    if (walk == 1) {
        std::stable_partition(roots.begin(), roots.end(), [&](size_t g) {
            return std::any_of(members[g].begin(), members[g].end(), [&](size_t i) { return files[i].viaTemporary; });
        });
    }
    for (const size_t root : roots) {
        if (mark[root] != Mark::New)
            continue;
        open.push_back(root);
        nextMember.push_back(0);
        mark[root] = Mark::Open;
        while (!open.empty()) {
            const size_t g = open.back();
            size_t &next = nextMember.back();
            if (next == members[g].size()) {
                mark[g] = Mark::Placed;
                order.push_back(g);
                open.pop_back();
                nextMember.pop_back();
                continue;
            }
            const std::optional<size_t> h = waitedGroup(members[g][next++]);
            if (!h || mark[*h] == Mark::Placed)
                continue;
            if (mark[*h] == Mark::Open) {
                for (auto it = std::find(open.begin(), open.end(), *h); it != open.end(); ++it) {
                    for (const size_t i : members[*it])
                        files[i].viaTemporary = true;
                }
                continue;
            }
            mark[*h] = Mark::Open;
            open.push_back(*h);
            nextMember.push_back(0);
        }
    }
    }
    std::vector<PlannedRename> ordered;
    ordered.reserve(files.size());
    for (const size_t g : order) {
        for (const size_t i : members[g])
            ordered.push_back(std::move(files[i]));
    }
    files = std::move(ordered);
}

std::vector<Step> firstPassSteps(const RenamePlan &plan)
{
    std::vector<Step> steps;
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedRename &file = plan.files[i];
        if (file.viaTemporary)
            steps.push_back({i, file.formerName, file.temporaryName, FileState::Temporary, FailureCause::None,
                             plan.operation == Operation::Undo, false});
    }
    return steps;
}

std::vector<Step> secondPassSteps(const RenamePlan &plan)
{
    std::vector<Step> steps;
    steps.reserve(plan.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const PlannedRename &file = plan.files[i];
        steps.push_back({i, file.viaTemporary ? file.temporaryName : file.formerName, file.newName, FileState::Done,
                         FailureCause::None, plan.operation == Operation::Undo && !file.viaTemporary, false});
    }
    return steps;
}

} // namespace pelmora
