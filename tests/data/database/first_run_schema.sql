-- A database as the first version that kept a record of its runs wrote it:
-- one run of two files by new numbering, finished, and its log rows.
-- @FOLDER@ is the folder of the run.
CREATE TABLE FileNameList (
    FileName TEXT, OriginalFileName TEXT, MakeItDate TEXT, Extension TEXT,
    Camera TEXT, MovieLong TEXT, NewFileName TEXT);
CREATE TABLE FileNameLog (
    ID INTEGER PRIMARY KEY AUTOINCREMENT, OriginalFileName TEXT, MakeItDate TEXT,
    Extension TEXT, Camera TEXT, NewFileName TEXT, "Update" TEXT);
CREATE TABLE FileNum (
    FileID TEXT, FileName TEXT, MakeItDate TEXT, Extension TEXT, FolderName TEXT, FolderID TEXT);
CREATE TABLE FolderNum (FolderName TEXT, FolderID TEXT);
CREATE TABLE RenameRun (
    RunID INTEGER PRIMARY KEY AUTOINCREMENT, Operation TEXT NOT NULL, Folder TEXT NOT NULL,
    Started TEXT, Finished TEXT, UndoOf INTEGER, UndoneBy INTEGER);
CREATE TABLE RenameJournal (
    RunID INTEGER NOT NULL, Position INTEGER NOT NULL,
    FormerName TEXT, TemporaryName TEXT, NewName TEXT, State TEXT NOT NULL, Cause TEXT, Changed TEXT,
    MakeItDate TEXT, DateSource TEXT, Extension TEXT, Camera TEXT, MovieLong TEXT, NewFileName TEXT,
    UndoOfPosition INTEGER,
    PRIMARY KEY (RunID, Position));
INSERT INTO RenameRun VALUES (1, 'new-number', '@FOLDER@', '2025-05-01 10:00:00', '2025-05-01 10:00:01', 0, NULL);
INSERT INTO RenameJournal VALUES
    (1, 0, 'IMG_0001.jpg', 'TempFileName0000_001.jpg', '210305-001.jpg', 'done', '', '2025-05-01 10:00:01',
     '2021-03-05 09:00:00', 'modified', 'jpg', '', '', '210305-001', NULL),
    (1, 1, 'IMG_0002.jpg', 'TempFileName0000_002.jpg', '210305-002.jpg', 'done', '', '2025-05-01 10:00:01',
     '2021-03-05 09:10:00', 'modified', 'jpg', '', '', '210305-002', NULL);
INSERT INTO FileNameLog (OriginalFileName, MakeItDate, Extension, Camera, NewFileName, "Update") VALUES
    ('IMG_0001.jpg', '2021-03-05 09:00:00', 'jpg', '', '210305-001', '2025-05-01 10:00:01'),
    ('IMG_0002.jpg', '2021-03-05 09:10:00', 'jpg', '', '210305-002', '2025-05-01 10:00:01');
