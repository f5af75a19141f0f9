// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pelmora {

// Whether a file is safe to hand to the metadata libraries: a regular file
// (never a pipe or a device, which could block for ever), and, for the ISO
// box family (MP4, MOV, HEIC, CR3), boxes that fit inside their parents and
// the file, nested no deeper than real files nest. A file cut short at its
// end, or padded after its last box, is checked as far as its boxes go. Such a file that claims
// more bytes than it has, or nests thousands of boxes, has made the libraries
// spin or overflow their stack; it is read as having no metadata instead.
bool safeToRead(const QString &path);

} // namespace pelmora
