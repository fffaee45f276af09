#include "Database.h"

#include "Clock.h"

namespace tallyra {

namespace {
std::unique_ptr<db::Engine> g_engine;
bool g_packNeeded = false;
} // namespace

void openDatabase(const QString &dir, std::shared_ptr<db::FileSystem> fs)
{
    closeDatabase();
    g_engine = std::make_unique<db::Engine>(dir, std::move(fs));
    g_engine->setToday([] { return today(); });
}

db::Status closeDatabase()
{
    if (!g_engine)
        return db::Status::ok();
    const db::Status s = g_engine->closeAll();
    g_engine.reset();
    return s;
}

bool databaseOpen()
{
    return g_engine != nullptr;
}

db::Engine &database()
{
    Q_ASSERT(g_engine);
    return *g_engine;
}

bool packNeeded()
{
    return g_packNeeded;
}

void setPackNeeded(bool needed)
{
    g_packNeeded = needed;
}

} // namespace tallyra
