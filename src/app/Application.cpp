// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include "app/MainWindow.h"
#include "numbering/NumberingWindow.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "text/Messages.h"
#include "database/NameDatabase.h"
#include "rename/Recovery.h"

namespace pelmora {

Application::Application(AppServices services)
    : services_(std::move(services))
{
}

Application::~Application() = default;

void Application::start()
{
    showMain();
    offerRecovery();
}

namespace {
// A window may be leaving from one of its own slots: it goes once that returns.
template <typename Window> void closeLater(std::unique_ptr<Window> &window)
{
    if (window) {
        window->hide();
        window.release()->deleteLater();
    }
}
} // namespace

void Application::showMain()
{
    closeLater(numbering_);
    closeLater(main_);
    closeDatabase();
    main_ = std::make_unique<MainWindow>(*this);
    main_->show();
}

void Application::showNumbering()
{
    closeLater(main_);
    closeDatabase();
    numbering_ = std::make_unique<NumberingWindow>(
        services_, NumberingWindow::Links{[this] { return database(); }, [this] { showMain(); }});
    numbering_->show();
}

NameDatabase *Application::database()
{
    if (!database_) {
        try {
            database_ = std::make_unique<NameDatabase>(services_.dataFolder, *services_.clock);
        } catch (const DatabaseError &error) {
            services_.messages->show(text::databaseUnavailable(error.failure()), Buttons::Ok, Icon::Critical,
                                     text::kDatabaseErrorTitle);
        }
    }
    return database_.get();
}

void Application::closeDatabase()
{
    database_.reset();
}

void Application::offerRecovery(const QString &folder)
{
    MessageBoxes &messages = *services_.messages;
    try {
        // At start-up a connection of its own: the windows hold none until
        // their first operation.
        std::optional<NameDatabase> own;
        NameDatabase *db = database_.get();
        if (!db)
            db = &own.emplace(services_.dataFolder, *services_.clock);
        for (const UnfinishedRun &run : settleQuietRuns(*db, folder)) {
            // A card that is out is offered once it is back.
            if (run.folderUnavailable)
                continue;
            if (messages.show(text::strandedQuestion(run), Buttons::YesNo, Icon::Exclamation, text::kStrandedTitle)
                != Answer::Yes)
                continue;
            messages.show(text::restoreSummary(recover(*db, run.run)), Buttons::Ok, Icon::None, text::kDone);
            // What the window lists is what the folder now holds.
            if (main_)
                main_->refreshFileList();
        }
    } catch (const DatabaseError &error) {
        if (!folder.isEmpty())
            messages.show(text::databaseUnavailable(error.failure()), Buttons::Ok, Icon::Critical, text::kDatabaseErrorTitle);
        // At start-up it goes on without: the first operation reports the database.
    }
}

} // namespace pelmora
