#include "support/tlscert.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace inkpost::test {
namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer<X509, X509_free>>;

void addExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) throw std::runtime_error("certificate extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

void writePem(const std::string& path, bool key, EVP_PKEY* pkey, X509* cert) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  const int ok = key ? PEM_write_PrivateKey(f, pkey, nullptr, nullptr, 0, nullptr, nullptr) : PEM_write_X509(f, cert);
  std::fclose(f);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace

TestCertificate::TestCertificate(const std::string& commonName)
    : cert_(dir_.file("cert.pem")), key_(dir_.file("key.pem")) {
  Key pkey(EVP_EC_gen("P-256"));
  Cert cert(X509_new());
  if (!pkey || !cert) throw std::runtime_error("cannot make a test certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()),
                   static_cast<long>(std::hash<std::string>{}(commonName)&0x7fffffff));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7L * 24 * 3600);
  X509_set_pubkey(cert.get(), pkey.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(cert.get(), name);
  addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  addExtension(cert.get(), NID_subject_key_identifier, "hash");
  if (!X509_sign(cert.get(), pkey.get(), EVP_sha256())) throw std::runtime_error("cannot sign a test certificate");
  writePem(key_, true, pkey.get(), nullptr);
  writePem(cert_, false, nullptr, cert.get());
}

}  // namespace inkpost::test
