#pragma once

#include "lockmake.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

namespace kx {

class Recorder;

// The encoder library's five calls, loaded with dlopen. A library or symbol
// that cannot be loaded leaves the binding unloaded: LoadError() says why,
// and every card call then gives -2 (encoder unavailable) without a crash.
class EncoderBinding
{
public:
    EncoderBinding();
    ~EncoderBinding();
    EncoderBinding(const EncoderBinding &) = delete;
    EncoderBinding &operator=(const EncoderBinding &) = delete;

    // Loads the library at path; false (with LoadError set) when it or one of
    // the five symbols cannot be found.
    bool Load(const QString &path);
    bool IsLoaded() const;
    QString LoadError() const { return m_error; }

    // Hands the settings file's path to the library in a 256-byte buffer.
    // Raises kx::EncoderError for a path of more than 255 bytes (the library
    // is then not called) or when the library is not loaded.
    void EncodeInit(const QString &settingsPath);

    // The card calls give the library's result (1 = success), or -2 when
    // no library is loaded.
    Word ReadCard(TLock_Make &card);
    // The library may change the record's arrays; the changes stay in card.
    Word MakeGuestCard(TLock_Make &card);
    // The library is handed the start of card (its CardRom).
    Word ClearCardData(TLock_Make &card);
    Word M1WriteCommonData(Word *block49);

    static constexpr Word Unavailable = -2;

    // Told of every load and card call with its result (may be null).
    void SetRecorder(Recorder *recorder) { m_recorder = recorder; }

private:
    void Unload();
    bool LoadLibrary(const QString &path);
    void Report(const char *name, Word result, std::chrono::steady_clock::time_point started);
    // Runs call when the library is loaded (else gives Unavailable) and tells the recorder.
    template <typename Call> Word Recorded(const char *name, Call &&call);

    struct Functions;
    std::unique_ptr<Functions> m_fn;
    void *m_handle = nullptr;
    QString m_error;
    Recorder *m_recorder = nullptr;
};

// The library path from section "Encoder", key "Library" of the settings
// file; default libhotellock.so beside the program. A relative value is taken
// from the program folder (never from the library search path).
QString EncoderLibraryPath(const QString &settingsPath, const QString &programDir);

} // namespace kx
