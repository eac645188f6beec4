// A test-only encoder library that lacks M1WriteCommonData: the binding must
// refuse it as a whole.
#include <cstdint>

#define EXPORT extern "C" __attribute__((visibility("default")))

using Word = std::int16_t;

EXPORT Word EncodeInit(char *)
{
    return 1;
}

EXPORT Word ReadCard(Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *, Word *)
{
    return 1;
}

EXPORT Word MakeGuestCard(Word *, Word *, Word, Word *, Word *, Word *, Word, Word *, Word *, Word *, Word *)
{
    return 1;
}

EXPORT Word ClearCardData(Word *)
{
    return 1;
}
