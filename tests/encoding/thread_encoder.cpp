// A test-only encoder library, as strict as a vendor's that keeps per-thread
// state: every call must come from the thread that called EncodeInit, or it
// fails with 10 (other error). It holds a blank card (serial 0) that every
// write succeeds on, and tells a test which threads called it.
#include <cstdint>
#include <mutex>
#include <pthread.h>
#include <set>

#define EXPORT extern "C" __attribute__((visibility("default")))

using Word = std::int16_t;

namespace {

constexpr Word Ok = 1;
constexpr Word OtherThread = -10;

std::mutex g_lock;
std::set<pthread_t> g_callers;
bool g_initialised = false;
pthread_t g_initThread{};

Word Check()
{
    const std::lock_guard guard(g_lock);
    g_callers.insert(pthread_self());
    return g_initialised && pthread_equal(g_initThread, pthread_self()) ? Ok : OtherThread;
}

} // namespace

EXPORT Word EncodeInit(char *)
{
    const std::lock_guard guard(g_lock);
    g_callers.insert(pthread_self());
    g_initialised = true;
    g_initThread = pthread_self();
    return Ok;
}

EXPORT Word ReadCard(Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *)
{
    return Check();
}

EXPORT Word MakeGuestCard(Word *, Word *, Word, Word *, Word *, Word *, Word, Word *, Word *, Word *, Word *)
{
    return Check();
}

EXPORT Word ClearCardData(Word *)
{
    return Check();
}

EXPORT Word M1WriteCommonData(Word *)
{
    return Check();
}

// How many threads have called the library; *first is one of them.
EXPORT int ThreadEncoderCallers(pthread_t *first)
{
    const std::lock_guard guard(g_lock);
    if (first && !g_callers.empty())
        *first = *g_callers.begin();
    return static_cast<int>(g_callers.size());
}
