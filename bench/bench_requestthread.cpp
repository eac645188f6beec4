// Cost of the hand-off every front-desk request makes: a job posted to the
// request thread, which posts its answer back to the event loop's thread,
// which takes it from its event queue, the way the dispatcher does it.
#include "platform/requestthread.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <benchmark/benchmark.h>

namespace {

void RequestThreadRoundTrip(benchmark::State &state)
{
    kx::RequestThread requests;
    QObject home;
    QEventLoop loop;
    for (auto _ : state) {
        requests.Post([&] {
            QByteArray answer(7, '\0'); // a result reply, as the operation gives back
            QMetaObject::invokeMethod(
                &home, [&loop, answer] { benchmark::DoNotOptimize(answer.size()), loop.quit(); },
                Qt::QueuedConnection);
        });
        loop.exec();
    }
}
BENCHMARK(RequestThreadRoundTrip)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
