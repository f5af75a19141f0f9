// SPDX-License-Identifier: GPL-3.0-or-later
#include "dates/CameraSurvey.h"

#include "platform/FileSystem.h"
#include "platform/PropertyReader.h"

namespace pelmora {

std::vector<CameraSummary> camerasOf(const QString &folder, MetadataSource &source, const ClockOffsets &offsets,
                                     const ReadTick &tick)
{
    QStringList paths;
    for (const QString &name : fs::listPlainFiles(folder))
        paths << fs::joinPath(folder, name);
    // No quick scan: it leaves the GPS time out.
    std::vector<std::optional<Metadata>> quick(size_t(paths.size()));
    return summariseCameras(source.readAll(paths, std::move(quick), tick), offsets);
}

} // namespace pelmora
