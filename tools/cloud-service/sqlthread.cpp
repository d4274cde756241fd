#include "sqlthread.h"

#include <QSqlDatabase>
#include <QSqlError>

SqlThread::SqlThread(const QString& databaseFile)
{
    std::promise<void> opened;
    std::future<void> ready = opened.get_future();
    thread = std::thread([this, databaseFile, &opened] { serve(databaseFile, opened); });
    ready.wait();
}

SqlThread::~SqlThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

void SqlThread::run(std::function<void(QSqlDatabase&)> job)
{
    std::future<void> finished;
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(Job{std::move(job), {}});
        finished = jobs.back().done.get_future();
    }
    wake.notify_one();
    finished.get();
}

void SqlThread::serve(const QString& databaseFile, std::promise<void>& opened)
{
    const QString name = QStringLiteral("cloudservice-%1").arg(reinterpret_cast<quintptr>(this));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databaseFile);
        // Another process (a seeding run) may hold the write lock for a moment.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        open = db.open();
        if (!open)
            error = db.lastError().text();
        opened.set_value();

        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                break;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            try {
                job.work(db);
                job.done.set_value();
            } catch (...) {
                job.done.set_exception(std::current_exception());
            }
            lock.lock();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}
