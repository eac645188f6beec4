#pragma once

#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <QTextStream>

namespace lockserver {

// Refuses, with a clear text, to listen on an address other computers reach
// without station keys, unless insecure says it is meant.
void CheckListenPolicy(const QHostAddress &address, bool haveKeys, bool insecure);

// The server side of TLS from a PEM certificate and its PEM private key
// (readable by its owner only). Raises kx::Error with the reason.
QSslConfiguration LoadTlsConfiguration(const QString &certFile, const QString &keyFile);

// "tls-keygen DIR": a self-signed certificate and its key (made by openssl)
// in DIR; prints both paths and the certificate's SHA-256 fingerprint.
int MakeTlsCertificate(const QString &folder, QTextStream &out);

// "station-key NAME": prints a key file line "NAME KEY" with a fresh random key.
int MakeStationKey(const QString &name, QTextStream &out);

// The first line of a password file (readable by its owner only).
QString ReadPasswordFile(const QString &path);

} // namespace lockserver
