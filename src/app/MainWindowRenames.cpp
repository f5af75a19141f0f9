// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's renames and undo: inputs read, a session prepared,
// its plan shown in the question, then applied and its outcome shown.
#include "app/MainWindow.h"

#include "app/Application.h"
#include "database/NameDatabase.h"
#include "rename/Progress.h"
#include "rename/RenameSession.h"
#include "text/Messages.h"
#include "widgets/BusyScope.h"
#include "widgets/FolderLists.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <climits>
#include <optional>

namespace pelmora {

namespace {

// The progress bar of a run; each new value is painted at once. While the
// run is planned it counts the files read, a few times a second.
class WindowProgress final : public ProgressSink {
public:
    explicit WindowProgress(QProgressBar *bar, QPushButton *stop = nullptr)
        : bar_(bar)
    {
        if (stop)
            QObject::connect(stop, &QPushButton::clicked, &receiver_, [this] { stopRequested_ = true; });
        sinceShown_.start();
    }
    ~WindowProgress() override
    {
        if (reading_)
            showPercent(false);
    }
    void show() override
    {
        showPercent(true);
        QCoreApplication::processEvents();
    }
    void reading(Reading what, qsizetype done, qsizetype total) override
    {
        constexpr qint64 kRepaintEveryMs = 50;
        if (reading_ == what && done < total && sinceShown_.elapsed() < kRepaintEveryMs)
            return;
        if (reading_ != what) {
            reading_ = what;
            bar_->setFormat(text::readingFormat(what));
            bar_->setRange(0, int(std::min<qsizetype>(total, INT_MAX)));
            bar_->show();
        }
        bar_->setValue(int(std::min<qsizetype>(done, INT_MAX)));
        sinceShown_.restart();
        QCoreApplication::processEvents();
    }
    void setValue(int percent) override
    {
        if (percent == bar_->value())
            return;
        bar_->setValue(percent);
        QCoreApplication::processEvents();
    }
    void hide() override { bar_->hide(); }
    bool stopRequested() const override { return stopRequested_; }

private:
    // Back to the percent of the renames done, shown or not.
    void showPercent(bool shown)
    {
        reading_.reset();
        bar_->resetFormat();
        bar_->setRange(0, 100);
        bar_->setValue(0);
        bar_->setVisible(shown);
    }

    QProgressBar *bar_;
    std::optional<Reading> reading_;
    QElapsedTimer sinceShown_;
    QObject receiver_; // ends the connection with this
    bool stopRequested_ = false;
};

} // namespace

bool MainWindow::confirm(const QString &question, const QString &title, const DetailTable &details, Buttons buttons)
{
    MessageBoxes &messages = *services_.messages;
    if (messages.show(question, buttons, Icon::Information, title, details) == Answer::Yes)
        return true;
    messages.show(text::kNotDone, Buttons::Ok, Icon::None, text::kNotDoneTitle);
    return false;
}

bool MainWindow::showRefusal(const OperationOutcome &outcome)
{
    using Status = OperationOutcome::Status;
    MessageBoxes &messages = *services_.messages;
    switch (outcome.status) {
    case Status::Completed:
        return false;
    case Status::StartNumberInvalid:
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kNotNumericTitle);
        Text3->setFocus(Qt::OtherFocusReason);
        return true;
    case Status::TextUnusable:
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kUnusableTextTitle);
        (outcome.textBox == OperationOutcome::TextBox::Pre ? Text1 : Text2)->setFocus(Qt::OtherFocusReason);
        return true;
    case Status::UnfinishedRun:
        // The files of the run cut short are offered back first.
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Exclamation, text::kStrandedTitle);
        app_.offerRecovery(outcome.folder);
        return true;
    case Status::DatabaseUnavailable:
        app_.closeDatabase();
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kDatabaseErrorTitle);
        return true;
    case Status::NothingToUndo:
        messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Information, text::kUndoTitle);
        return true;
    case Status::FolderMissing:
    case Status::FolderReadOnly:
    case Status::FolderBusy:
    case Status::StrayTemporaryNames:
    case Status::Stopped:
        break;
    }
    messages.show(text::outcomeMessage(outcome), Buttons::Ok, Icon::Critical, text::kFolderErrorTitle);
    return true;
}

void MainWindow::applyAndReport(RenameSession &session)
{
    OperationOutcome outcome;
    {
        BusyScope busy(this, Cmd_Stop);
        WindowProgress progress(ProgressBar1, Cmd_Stop);
        session.setProgress(&progress);
        outcome = session.apply();
    }
    using Status = OperationOutcome::Status;
    if (outcome.status == Status::Completed || outcome.status == Status::Stopped)
        services_.messages->show(text::outcomeMessage(outcome), Buttons::Ok, Icon::None,
                                 outcome.status == Status::Stopped ? text::kStoppedTitle : text::kDone,
                                 text::failureTable(outcome.plan));
    else
        showRefusal(outcome);
    refreshFileList();
}

void MainWindow::runRename(Operation operation, const QString &title)
{
    if (File1->entryCount() == 0) {
        services_.messages->show(text::kChooseFolder, Buttons::Ok, Icon::Critical, text::kChooseFolderTitle);
        return;
    }
    const NamingInputs inputs = readInputs();
    NameDatabase *db = app_.database();
    if (!db)
        return;
    RenameSession session(*services_.clock);
    OperationOutcome prepared;
    {
        BusyScope busy(this, Cmd_Stop);
        WindowProgress repaint(ProgressBar1, Cmd_Stop);
        session.setProgress(&repaint);
        prepared = session.prepare(operation, inputs, *db);
    }
    if (prepared.plan.cancelled) {
        services_.messages->show(text::kStoppedBeforeRenaming, Buttons::Ok, Icon::Information, text::kStoppedTitle);
        return;
    }
    if (showRefusal(prepared))
        return;
    if (confirm(text::renameQuestion(File1->entryCount(), Dir1->path()), title, text::planTable(prepared.plan)))
        applyAndReport(session);
}

QString MainWindow::confirmationTitle(Operation operation)
{
    return text::confirmationTitle(text::operationName(operation));
}

void MainWindow::Fnc_ShotDateConfirm() { runRename(Operation::ShotDate, text::kConfirmTitle); }
void MainWindow::Fnc_RenameNewNumber() { runRename(Operation::NewNumber, confirmationTitle(Operation::NewNumber)); }
void MainWindow::Fnc_RenameKeepExisting()
{
    runRename(Operation::KeepExisting, confirmationTitle(Operation::KeepExisting));
}
void MainWindow::Fnc_RenameNewAndExisting()
{
    runRename(Operation::NewAndExisting, confirmationTitle(Operation::NewAndExisting));
}
void MainWindow::Fnc_ReplaceText() { runRename(Operation::ReplaceText, confirmationTitle(Operation::ReplaceText)); }
void MainWindow::Fnc_AppendText() { runRename(Operation::AppendText, confirmationTitle(Operation::AppendText)); }

void MainWindow::Fnc_Undo()
{
    NameDatabase *db = app_.database();
    if (!db)
        return;
    RenameSession session(*services_.clock);
    const OperationOutcome prepared = session.prepareUndo(*db);
    if (showRefusal(prepared))
        return;
    if (confirm(text::undoQuestion(prepared.plan), confirmationTitle(Operation::Undo), text::planTable(prepared.plan),
                Buttons::YesNo))
        applyAndReport(session);
}

} // namespace pelmora
