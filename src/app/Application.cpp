#include "app/Application.h"

#include "app/MainWindow.h"
#include "platform/FileSystem.h"
#include "platform/MessageBoxes.h"
#include "rename/Messages.h"
#include "rename/NameDatabase.h"
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

void Application::showMain()
{
    main_.reset();
    closeDatabase();
    main_ = std::make_unique<MainWindow>(*this);
    main_->show();
}

NameDatabase *Application::database()
{
    if (!database_) {
        try {
            database_ = std::make_unique<NameDatabase>(services_.dataFolder, *services_.clock);
        } catch (const DatabaseError &error) {
            services_.messages->show(text::databaseUnavailable(error), Buttons::Ok, Icon::Critical,
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
        for (const UnfinishedRun &run : findUnfinishedRuns(*db)) {
            if (!folder.isEmpty() && fs::canonicalFolder(run.run.folder) != fs::canonicalFolder(folder))
                continue;
            if (run.awaitingRestore == 0) {
                recover(*db, run.run);
                continue;
            }
            if (messages.show(text::strandedQuestion(run), Buttons::YesNo, Icon::Exclamation, text::kStrandedTitle)
                != Answer::Yes)
                continue;
            messages.show(text::restoreSummary(recover(*db, run.run)), Buttons::Ok, Icon::None, text::kDone);
        }
    } catch (const DatabaseError &error) {
        if (!folder.isEmpty())
            messages.show(text::databaseUnavailable(error), Buttons::Ok, Icon::Critical, text::kDatabaseErrorTitle);
        // At start-up it goes on without: the first operation reports the database.
    }
}

} // namespace pelmora
