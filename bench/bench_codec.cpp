// Cost of decoding request frames and building card replies: a typical
// check-in frame and card, and frames that fill the 1025-byte buffers.
#include "platform/datetime.h"
#include "server/codec.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>

namespace {

using Buffer = std::array<std::uint8_t, kx::ReceiveBufferSize>;

Buffer MakeBuffer(const QByteArray &frame, int &n)
{
    Buffer buffer{};
    n = static_cast<int>(std::min<qsizetype>(frame.size(), buffer.size()));
    std::memcpy(buffer.data(), frame.constData(), static_cast<std::size_t>(n));
    return buffer;
}

QByteArray CheckInFrame()
{
    return QByteArray::fromHex("02 00 00 00 00 49 7C 52 31 30 31 7C 4E 4C 69 7C 44 24 05 20 14 00 00 "
                               "7C 4F 24 05 22 12 00 00 03");
}

// A check-in frame of exactly 1025 bytes: both dates, then a name that fills the rest.
QByteArray FullFrame()
{
    const QByteArray head = QByteArray::fromHex(
        "02 00 00 00 00 49 7C 52 31 30 31 7C 44 24 05 20 14 00 00 7C 4F 24 05 22 12 00 00");
    QByteArray frame = head + "|N";
    frame += QByteArray(kx::ReceiveBufferSize - frame.size() - 1, 'n');
    return frame + '\x03';
}

// Decodes into one record that is set back to its initial values before each
// frame, as a server that keeps its receive record does: the texts keep their
// memory, so the decoder itself allocates nothing.
void DecodeFrame(benchmark::State &state, const QByteArray &frame)
{
    int n = 0;
    const Buffer buffer = MakeBuffer(frame, n);
    TCardInterface request;
    for (auto _ : state) {
        int command = 0;
        request.Room.truncate(0);
        request.GuestName.truncate(0);
        request.GuestInTime = request.GuestLeaveTime = 0;
        benchmark::DoNotOptimize(DecodeRequest(buffer.data(), n, command, request));
        benchmark::DoNotOptimize(request);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

// A new record for every frame: the decoder then allocates its two texts.
void DecodeFrameFresh(benchmark::State &state, const QByteArray &frame)
{
    int n = 0;
    const Buffer buffer = MakeBuffer(frame, n);
    for (auto _ : state) {
        int command = 0;
        TCardInterface request;
        benchmark::DoNotOptimize(DecodeRequest(buffer.data(), n, command, request));
        benchmark::DoNotOptimize(request);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void BM_DecodeRequest_CheckIn(benchmark::State &state)
{
    DecodeFrame(state, CheckInFrame());
}

void BM_DecodeRequest_Full1025(benchmark::State &state)
{
    DecodeFrame(state, FullFrame());
}

void BM_DecodeRequest_CheckIn_NewRecord(benchmark::State &state)
{
    DecodeFrameFresh(state, CheckInFrame());
}

void BM_DecodeRequest_Full1025_NewRecord(benchmark::State &state)
{
    DecodeFrameFresh(state, FullFrame());
}

void BuildReply(benchmark::State &state, const TCardInterface &card)
{
    std::array<std::uint8_t, kx::ReplyBufferSize> reply{};
    int n = 0;
    for (auto _ : state) {
        n = BuildCardReply(card, reply.data());
        benchmark::DoNotOptimize(reply.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

TDateTime At(int year, int month, int day, int hour, int minute)
{
    return kx::EncodeDate(year, month, day) + kx::EncodeTime(hour, minute, 0, 0);
}

void BM_BuildCardReply_Typical(benchmark::State &state)
{
    BuildReply(state, TCardInterface{"101", At(2024, 5, 20, 14, 0), At(2024, 5, 22, 12, 0), "Li"});
}

void BM_BuildCardReply_Full1024(benchmark::State &state)
{
    BuildReply(state,
               TCardInterface{"101", At(2024, 5, 20, 14, 0), At(2024, 5, 22, 12, 0), QByteArray(994, 'n')});
}

BENCHMARK(BM_DecodeRequest_CheckIn);
BENCHMARK(BM_DecodeRequest_Full1025);
BENCHMARK(BM_DecodeRequest_CheckIn_NewRecord);
BENCHMARK(BM_DecodeRequest_Full1025_NewRecord);
BENCHMARK(BM_BuildCardReply_Typical);
BENCHMARK(BM_BuildCardReply_Full1024);

} // namespace

BENCHMARK_MAIN();
