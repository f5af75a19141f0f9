#pragma once

#include <QString>

namespace pelmora {

// "DATA" beside the executable, or the per-user data folder + "/DATA" when
// that cannot be written. Created when missing.
QString defaultDataFolder();

} // namespace pelmora
