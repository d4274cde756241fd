#ifndef SQLTHREAD_H
#define SQLTHREAD_H

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

class QSqlDatabase;

// One SQLite connection on a thread of its own. A Qt SQL connection may only be
// used by the thread that opened it, and the HTTP server answers from a pool of
// threads, so every statement is handed to this thread and run in turn.
class SqlThread
{
public:
    explicit SqlThread(const QString& databaseFile);
    ~SqlThread();

    SqlThread(const SqlThread&) = delete;
    SqlThread& operator=(const SqlThread&) = delete;

    bool isOpen() const { return open; }
    QString errorString() const { return error; }

    // Runs job with the connection on this object's thread and waits for it to
    // end; an exception thrown by the job is rethrown here.
    void run(std::function<void(QSqlDatabase&)> job);

private:
    struct Job
    {
        std::function<void(QSqlDatabase&)> work;
        std::promise<void> done;
    };

    void serve(const QString& databaseFile, std::promise<void>& opened);

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
    bool open = false;
    QString error;
    std::thread thread;
};

#endif
