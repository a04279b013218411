#ifndef BRELO_TESTS_SCOPEGUARDS_H
#define BRELO_TESTS_SCOPEGUARDS_H

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <thread>
#include <utility>

// A failing check returns from its test function at once; these undo what the function changed, so
// that the failure stays its own and the next test starts clean.

// Sets an environment variable for one scope, then restores it, or unsets it if it was unset.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_wasSet) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_old;
};

// A thread that is joined when the scope ends, after stop() has been called to end its work early
// if it is still joinable then (a search with a long window, say).
class ScopedThread
{
public:
    explicit ScopedThread(std::function<void()> body, std::function<void()> stop = {})
        : m_stop(std::move(stop))
        , m_thread(std::move(body))
    {
    }
    ~ScopedThread()
    {
        if (m_thread.joinable()) {
            if (m_stop) {
                m_stop();
            }
            m_thread.join();
        }
    }
    ScopedThread(const ScopedThread &) = delete;
    ScopedThread &operator=(const ScopedThread &) = delete;

    void join() { m_thread.join(); }

private:
    std::function<void()> m_stop;
    std::thread m_thread;
};

#endif // BRELO_TESTS_SCOPEGUARDS_H
