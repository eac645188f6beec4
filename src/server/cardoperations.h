#pragma once

#include "cardinterface.h"

namespace kx {

// What the dispatcher needs of the card operations. Check-in reports success
// as 0, check-out and card read as 1; any other value is a failure whose
// absolute value is the result code. Errors (records store, conversions)
// are raised as kx::Error.
class CardOperations
{
public:
    virtual ~CardOperations() = default;

    virtual int CheckRoom(const QByteArray &room) = 0;
    virtual int CheckInCard(const TCardInterface &request) = 0;
    virtual void AddCardRecord(const TCardInterface &request) = 0;
    virtual void AddGuestRecord(const TCardInterface &request) = 0;
    virtual int CheckOut(const QByteArray &room) = 0;
    virtual int ReadCardInfo(TCardInterface &card) = 0;
    // Duplicate and one-shot keys: 0 on success, otherwise the result code.
    virtual int DuplicateKey(const TCardInterface &request) = 0;
    virtual int OneShotKey(const TCardInterface &request) = 0;
    // A check-in or check-out request was answered: what the operation kept
    // in case it was interrupted can go.
    virtual void Answered() {}
};

} // namespace kx
