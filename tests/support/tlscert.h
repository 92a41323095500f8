// A self-signed certificate and its key, made for one test, for a secure
// server on 127.0.0.1 (the sandbox's --tls). The certificate names
// 127.0.0.1 and localhost and may stand as its own authority, so a test
// trusts it with setTrustedCertificates(certFile).
#pragma once

#include "support/tempdir.h"

#include <string>
#include <vector>

namespace inkpost::test {

class TestCertificate {
 public:
  // `commonName` tells two certificates apart; both name 127.0.0.1.
  explicit TestCertificate(const std::string& commonName = "inkpost test");
  const std::string& certFile() const { return cert_; }
  const std::string& keyFile() const { return key_; }
  // The sandbox options that serve with this certificate.
  std::vector<std::string> sandboxArgs() const { return {"--tls", cert_, key_}; }

 private:
  TempDir dir_;
  std::string cert_, key_;
};

}  // namespace inkpost::test
