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

TestTls makeTls(const QString& dir)
{
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key");

    CertPtr cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");

    TestTls tls;
    tls.certificatePath = dir + QStringLiteral("/server.crt");
    tls.keyPath = dir + QStringLiteral("/server.key");
    writePem(tls.certificatePath, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; });
    writePem(tls.keyPath,
             [&](FILE* f) { return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1; });
    return tls;
}

} // namespace

TestTls TestTls::makeUntrusted(const QString& dir)
{
    return makeTls(dir);
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
