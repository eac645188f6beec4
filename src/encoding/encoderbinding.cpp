#include "encoderbinding.h"

#include "platform/errors.h"
#include "platform/profile.h"
#include "platform/programfolder.h"
#include "platform/recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <chrono>
#include <cstring>
#include <dlfcn.h>

namespace kx {

// The library's five calls: C calling convention, words as int16_t.
struct EncoderBinding::Functions
{
    using EncodeInitFn = Word (*)(char *path256);
    using ReadCardFn = Word (*)(Word *cardRom, Word *cardDataA, Word *cardWord, Word *cardDataB,
                                Word *cardDataC, Word *roomDoors, Word *enOverride, Word *cardMode,
                                Word *cardDataD, Word *lockStartTime, Word *lockEndTime);
    using MakeGuestCardFn = Word (*)(Word *cardRom, Word *cardDataA, Word cardWord, Word *cardDataB,
                                     Word *cardDataC, Word *roomDoors, Word enOverride, Word *cardMode,
                                     Word *cardDataD, Word *lockStartTime, Word *lockEndTime);
    using ClearCardDataFn = Word (*)(Word *cardRom);
    using M1WriteCommonDataFn = Word (*)(Word *block49);

    EncodeInitFn EncodeInit = nullptr;
    ReadCardFn ReadCard = nullptr;
    MakeGuestCardFn MakeGuestCard = nullptr;
    ClearCardDataFn ClearCardData = nullptr;
    M1WriteCommonDataFn M1WriteCommonData = nullptr;
};

namespace {

template <typename Fn>
bool Resolve(void *handle, const char *name, Fn &fn, const QString &path, QString &error)
{
    dlerror();
    void *symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        error = QStringLiteral("The encoder library %1 has no function %2").arg(path, QLatin1String(name));
        return false;
    }
    fn = reinterpret_cast<Fn>(symbol);
    return true;
}

} // namespace

EncoderBinding::EncoderBinding() : m_fn(std::make_unique<Functions>())
{
    m_error = QStringLiteral("The encoder library is not loaded");
}

EncoderBinding::~EncoderBinding()
{
    Unload();
}

void EncoderBinding::Unload()
{
    *m_fn = Functions{};
    if (m_handle != nullptr)
        dlclose(m_handle);
    m_handle = nullptr;
}

void EncoderBinding::Report(const char *name, Word result, std::chrono::steady_clock::time_point started)
{
    if (m_recorder)
        m_recorder->EncoderCall(name, result, std::chrono::steady_clock::now() - started);
}

template <typename Call> Word EncoderBinding::Recorded(const char *name, Call &&call)
{
    const auto started = std::chrono::steady_clock::now();
    const Word result = IsLoaded() ? call() : Unavailable;
    Report(name, result, started);
    return result;
}

bool EncoderBinding::Load(const QString &path)
{
    const auto started = std::chrono::steady_clock::now();
    const bool loaded = LoadLibrary(path);
    // A library that cannot be loaded counts as a failed encoder call for the station's health.
    Report("Load", loaded ? Word{1} : Unavailable, started);
    return loaded;
}

bool EncoderBinding::LoadLibrary(const QString &path)
{
    Unload();
    const QByteArray encoded = QFile::encodeName(path);
    dlerror();
    void *handle = dlopen(encoded.constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *reason = dlerror();
        m_error = QStringLiteral("Cannot load the encoder library %1: %2")
                      .arg(path, reason != nullptr ? QString::fromLocal8Bit(reason)
                                                   : QStringLiteral("unknown error"));
        return false;
    }

    Functions fn;
    QString error;
    if (!Resolve(handle, "EncodeInit", fn.EncodeInit, path, error) ||
        !Resolve(handle, "ReadCard", fn.ReadCard, path, error) ||
        !Resolve(handle, "MakeGuestCard", fn.MakeGuestCard, path, error) ||
        !Resolve(handle, "ClearCardData", fn.ClearCardData, path, error) ||
        !Resolve(handle, "M1WriteCommonData", fn.M1WriteCommonData, path, error)) {
        dlclose(handle);
        m_error = error;
        return false;
    }
    m_handle = handle;
    *m_fn = fn;
    m_error.clear();
    return true;
}

bool EncoderBinding::IsLoaded() const
{
    return m_handle != nullptr;
}

void EncoderBinding::EncodeInit(const QString &settingsPath)
{
    if (!IsLoaded())
        throw EncoderError(QStringLiteral("Cannot initialise the encoder: %1").arg(m_error));
    if (settingsPath.isEmpty())
        throw EncoderError(QStringLiteral("Cannot initialise the encoder: no settings file path given"));
    const QByteArray encoded = QFile::encodeName(settingsPath);
    std::array<char, 256> buffer{};
    if (encoded.size() >= static_cast<qsizetype>(buffer.size()))
        throw EncoderError(QStringLiteral("The settings file path is too long for the encoder library "
                                          "(%1 bytes, at most 255): %2")
                               .arg(encoded.size())
                               .arg(settingsPath));
    if (encoded.contains('\0'))
        throw EncoderError(
            QStringLiteral("The settings file path contains a NUL character: %1").arg(settingsPath));
    std::memcpy(buffer.data(), encoded.constData(), static_cast<size_t>(encoded.size()));
    m_fn->EncodeInit(buffer.data()); // its result carries no meaning
}

Word EncoderBinding::ReadCard(TLock_Make &card)
{
    return Recorded("ReadCard", [&] {
        return m_fn->ReadCard(card.CardRom, card.CardDataA, &card.CardWord, card.CardDataB, card.CardDataC,
                              card.RoomDoors, &card.EnOverride, card.CardMode, card.CardDataD,
                              card.LockStartTime.w, card.LockEndTime.w);
    });
}

Word EncoderBinding::MakeGuestCard(TLock_Make &card)
{
    return Recorded("MakeGuestCard", [&] {
        // The record itself: what the library leaves in it (a card mode, the
        // common doors) is what the card record is made from.
        return m_fn->MakeGuestCard(card.CardRom, card.CardDataA, card.CardWord, card.CardDataB,
                                   card.CardDataC, card.RoomDoors, card.EnOverride, card.CardMode,
                                   card.CardDataD, card.LockStartTime.w, card.LockEndTime.w);
    });
}

Word EncoderBinding::ClearCardData(TLock_Make &card)
{
    return Recorded("ClearCardData", [&] { return m_fn->ClearCardData(card.CardRom); });
}

Word EncoderBinding::M1WriteCommonData(Word *block49)
{
    return Recorded("M1WriteCommonData", [&] { return m_fn->M1WriteCommonData(block49); });
}

QString EncoderLibraryPath(const QString &settingsPath, const QString &programDir)
{
    const ProfileFile settings(settingsPath);
    QString value =
        settings.ReadString(QStringLiteral("Encoder"), QStringLiteral("Library"), QString()).trimmed();
    if (value.isEmpty())
        value = QStringLiteral("libhotellock.so");
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return ProgramFolder(programDir).Resolve(value);
}

} // namespace kx
