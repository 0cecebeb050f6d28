#include "tests/support/TestTls.h"

#include <QDir>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

template <typename T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

void addExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

void writePem(const QString& path, auto&& writer)
{
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    check(file != nullptr, "open");
    const bool ok = writer(file);
    std::fclose(file);
    check(ok, "write");
}

// A P-256 certificate for `subject`, signed by `issuer` (itself when null) with `issuerKey`.
CertPtr makeCertificate(EVP_PKEY* key, const char* subject, bool authority, X509* issuer, EVP_PKEY* issuerKey)
{
    CertPtr cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), authority ? 1 : 2);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(subject), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    addExtension(cert.get(), NID_basic_constraints, authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(cert.get(), NID_key_usage,
                 authority ? "critical,digitalSignature,keyCertSign" : "critical,digitalSignature");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    check(X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

KeyPtr makeKey()
{
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key");
    return key;
}

// The certificates go to the file in order: the server's first, then the chain it presents.
TestTls writeTls(const QString& dir, EVP_PKEY* key, std::initializer_list<X509*> chain)
{
    TestTls tls;
    tls.certificatePath = dir + QStringLiteral("/server.crt");
    tls.keyPath = dir + QStringLiteral("/server.key");
    writePem(tls.certificatePath, [&](FILE* f) {
        for (X509* cert : chain) {
            if (PEM_write_X509(f, cert) != 1)
                return false;
        }
        return true;
    });
    writePem(tls.keyPath,
             [&](FILE* f) { return PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1; });
    return tls;
}

TestTls makeTls(const QString& dir)
{
    const KeyPtr key = makeKey();
    const CertPtr cert = makeCertificate(key.get(), "127.0.0.1", true, nullptr, nullptr);
    return writeTls(dir, key.get(), {cert.get()});
}

} // namespace

TestTls TestTls::makeUntrusted(const QString& dir)
{
    return makeTls(dir);
}

TestTls TestTls::makeIssuedByStranger(const QString& dir, const char* authorityName)
{
    const KeyPtr authorityKey = makeKey();
    const CertPtr authority = makeCertificate(authorityKey.get(), authorityName, true, nullptr, nullptr);
    const KeyPtr key = makeKey();
    const CertPtr cert = makeCertificate(key.get(), "127.0.0.1", false, authority.get(), authorityKey.get());
    return writeTls(dir, key.get(), {cert.get(), authority.get()});
}

const TestTls& TestTls::instance()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vellorin-tls-XXXXXX"));
    static const TestTls tls = [] {
        TestTls made = makeTls(dir.path());
        ::setenv("SSL_CERT_FILE", QFile::encodeName(made.certificatePath).constData(), 1);
        return made;
    }();
    return tls;
}
