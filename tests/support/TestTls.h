#pragma once

#include <QString>

// A throwaway self-signed certificate for 127.0.0.1, made once per test process, which the process trusts
// through SSL_CERT_FILE (so the client keeps its default, validating configuration).
struct TestTls
{
    QString certificatePath;
    QString keyPath;

    // Makes the certificate on first use and points SSL_CERT_FILE at it.
    static const TestTls& instance();
    // Another self-signed certificate for 127.0.0.1, written to `dir`, that nothing trusts.
    static TestTls makeUntrusted(const QString& dir);
    // A certificate for 127.0.0.1 issued by an authority named `authorityName` that nothing trusts, written to
    // `dir` with that authority's certificate after it, as a server presents its chain.
    static TestTls makeIssuedByStranger(const QString& dir, const char* authorityName);
};
