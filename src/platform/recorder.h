#pragma once

#include <chrono>

namespace kx {

// Told of the work a station does, for its metrics and health: once per
// request the dispatcher serves, once per call to the records store and to
// the encoder library, and whenever the number of front-desk connections
// changes. It never sees request data (rooms, names, cards). Calls may come
// from any thread; implementations must be quick and thread-safe.
class Recorder
{
public:
    using Duration = std::chrono::steady_clock::duration;

    // The result of a request that got no reply: a G request, a rejected
    // frame, or one that ended with a raised error.
    static constexpr int NoReply = -1;
    static constexpr int RaisedError = -2;

    virtual ~Recorder() = default;

    // command: the request's letter, or 0 for a rejected frame; code: the
    // result code sent in the reply, or NoReply or RaisedError.
    virtual void RequestServed(int command, int code, Duration duration) = 0;
    virtual void ConnectionsChanged(int open) = 0;
    // call: the protocol operation ("hello", "open", "execute", "apply");
    // linkUp: whether the connection to the records store is open afterwards.
    virtual void StoreCall(const char *call, bool failed, bool linkUp, Duration duration) = 0;
    // call: the library function; result: what it gave (1 = success).
    virtual void EncoderCall(const char *call, int result, Duration duration) = 0;
};

} // namespace kx
