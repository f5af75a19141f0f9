// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pelmora {

// What went wrong with a file Pelmora keeps or writes (its database, the
// database's compacted copy, a workbook, the favourite folder), as values:
// the text layer words it.
struct Failure {
    enum class Kind {
        FolderMissing, // the folder that holds the file is not there
        CannotOpen,    // the file cannot be opened
        ReadOnly,      // the file may not be written
        ReadWrite,     // reading or writing it failed
        InUse,         // another connection, program or window holds it
        LeftoverCopy,  // a copy an earlier compaction left stands in the way
        Unreadable,    // its content is not what it should be (a damaged template)
        CannotWrite,   // it could not be written
        Outdated       // written by an earlier version, and not to be upgraded now (a dry run)
    };
    Kind kind = Kind::ReadWrite;
    QString subject;      // the file concerned
    int error = 0;        // the system's error number, where the system answered
    int databaseCode = 0; // SQLite's extended result code, where SQLite answered
    QString detail;       // the library's or the system's own words, as they came
};

} // namespace pelmora
