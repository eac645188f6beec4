// Preloaded into kandrilox by the host-lookup test: every reverse lookup that
// asks for a name (NI_NAMEREQD) is held until the file named by
// KANDRILOX_TEST_RESOLVER_GATE exists (at most 30 s), as with a name server
// that does not answer; then the system's own lookup runs.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) int getnameinfo(const struct sockaddr *address,
                                                                  socklen_t addressLength, char *host,
                                                                  socklen_t hostLength, char *service,
                                                                  socklen_t serviceLength, int flags)
{
    using Lookup = int (*)(const struct sockaddr *, socklen_t, char *, socklen_t, char *, socklen_t, int);
    static const auto real = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getnameinfo"));
    const char *gate = std::getenv("KANDRILOX_TEST_RESOLVER_GATE");
    if (gate != nullptr && (flags & NI_NAMEREQD) != 0)
        for (int waited = 0; waited < 3000 && access(gate, F_OK) != 0; ++waited)
            usleep(10 * 1000);
    return real(address, addressLength, host, hostLength, service, serviceLength, flags);
}
