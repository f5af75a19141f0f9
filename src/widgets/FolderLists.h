// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>
#include <QListWidget>

#include <optional>

namespace pelmora {

// Folder list: the chosen folder's ancestors from the root, the folder
// itself and its subfolders; activating an entry opens that folder.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget *parent = nullptr);

    // Without a final separator except at a root.
    QString path() const { return path_; }
    // Refuses (returns false, changes nothing) a folder that does not exist.
    bool setPath(const QString &folder);

signals:
    void pathChanged(const QString &path);

private:
    void fill();

    QString path_;
};

// File list: the plain, non-hidden files of one folder, sorted by name.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    void setFolder(const QString &folder);
    void reread();
    int entryCount() const { return count(); }

private:
    QString folder_;
};

// Drive list: the mounted volumes a user picks photos from, as they are
// when the list opens.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);
    void showPopup() override;

    // Shows the volume that holds the folder, without raising driveChosen.
    void showDriveOf(const QString &folder);
    // Shows the volume that held a folder that is gone and gives its root,
    // when the volume is there and can be read; nothing for a card's slot
    // whose card is out.
    std::optional<QString> showDriveThatHeld(const QString &folder);

signals:
    void driveChosen(const QString &root);

private:
    void listVolumes();
    void listVolumesAgain();
    int indexHolding(const QString &folder) const;
};

} // namespace pelmora
