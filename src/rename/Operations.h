// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rename/NameFormat.h"

#include <QString>

namespace pelmora {

enum class Operation {
    ShotDate,       // by date taken, numbered per day
    NewNumber,      // by date modified, numbered per day
    KeepExisting,   // by date modified, lowest free number of the day
    NewAndExisting, // by date modified, former name kept in brackets
    ReplaceText,    // Pre Text replaced by Post Text
    AppendText,     // "(" + Post Text + ")" before the extension
    Undo            // the files of the last run back to their former names
};

// How the new names of an operation are made.
enum class Naming {
    ByDay,      // date + texts + the day's running number from the Start Number
    LowestFree, // date + texts + the lowest number of the day whose name is free
    Replace,    // Pre Text replaced by Post Text in the whole name
    Append,     // "(" + Post Text + ")" before the extension
    Former      // the name the file had before the run that is undone
};

enum class DateSource { None, Taken, Modified };

// What FileNameList holds for the files of a run.
enum class ListRows {
    None,             // the table is emptied and stays empty
    Temporary,        // temporary name, former name with extension
    TemporaryNoExt,   // temporary name, former name without extension
    Current           // the current name only
};

// The closing message of a run.
enum class Closing { Counts, Plain, Undone };

// Everything that sets one rename operation apart from the others.
struct OperationRules {
    Operation operation;
    QString name;        // command-line name, and the name stored with a run
    bool twoPasses;      // every file goes through a temporary name first
    bool countsExcluded; // files of other extensions are counted in the closing message
    DateSource dateSource;
    bool readsCamera;
    Naming naming;
    bool readsStartNumber;
    bool formerNameAlways; // "(" + former base name + ")" whatever the option
    bool lengthWithOption4;
    ListRows listRows;
    bool writesLog;
    bool showsProgress;
    Closing closing;
};

const OperationRules &rulesOf(Operation operation);
// The operation of a stored or typed name; nullptr when there is none.
const OperationRules *operationNamed(const QString &name);
// The six rename operations of the list, then undo.
const std::vector<OperationRules> &allOperations();

} // namespace pelmora
