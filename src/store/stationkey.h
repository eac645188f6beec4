#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Station keys: shared secrets by which a station proves to the lockserver
// that it belongs to the hotel, and the lockserver proves the same back. The
// hello carries proofs (HMAC-SHA-256 over both sides' nonces), never a key.
namespace kx::stationkey {

struct StationKey
{
    QString name;      // "NAME" of a "NAME KEY" line, else "line N"
    QByteArray secret; // the key text as written, never logged
};

// The shortest key a key file may hold, in characters.
constexpr int MinKeyLength = 16;

// Reads a key file: one key a line, optionally "NAME KEY"; blank lines and
// lines starting with '#' are skipped. Raises kx::Error when the file cannot
// be read, can be read or written by others than its owner, holds a line of
// another form or a key shorter than MinKeyLength, or holds no key. No error
// text repeats a key.
QList<StationKey> ReadKeyFile(const QString &path);

// Raises kx::Error when others than its owner may read or write the file
// (what names it in the text, for example "Key file").
void RequireOwnerOnly(const QString &path, const QString &what);

// A fresh random nonce: 32 bytes as 64 lower-case hexadecimal digits.
QString NewNonce();
// True for a nonce of 32 to 128 hexadecimal digits.
bool IsNonce(const QString &text);

// Who is proving: the station in its hello, the server in its answer. Each
// side's proof covers both nonces, so neither can be replayed on another
// connection nor reflected back.
enum class Role { Station, Server };
// HMAC-SHA-256 over the role and the two nonces, as lower-case hexadecimal.
QString Proof(const QByteArray &secret, Role role, const QString &serverNonce, const QString &stationNonce);
// Compares two proofs in time that depends on their length only.
bool SameProof(const QString &a, const QString &b);

} // namespace kx::stationkey
