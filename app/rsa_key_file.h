// RSA key files for the program, in two forms: name=decimal lines (n, e, d, p, q, dp, dq,
// qinv), and PEM, read and written by OpenSSL's encoders and decoders (libcrypto): private
// keys as PKCS#1 ("RSA PRIVATE KEY") or PKCS#8 ("PRIVATE KEY"), public keys as
// SubjectPublicKeyInfo ("PUBLIC KEY") or PKCS#1 ("RSA PUBLIC KEY"). The libraries never see
// OpenSSL: a key crosses over as TRsaKey records.
#pragma once

#include <istream>
#include <string>

#include "app/secrets.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::cli {

// A key as read from a file: the values the file gives, empty records for the others.
struct KeyFile {
  std::string path;  // for messages
  TRsaKey key;

  bool Has(const TFGInt& value) const { return !value.Digits.empty(); }
  // Private: d, or p and q.
  bool IsPrivate() const { return Has(key.PrivateExponent) || Has(key.P) || Has(key.Q); }
};

// Reads the key file at `path` ("-" is standard input): PEM when it starts with "-----BEGIN",
// name=decimal lines otherwise. The file's text is held in wiped memory only. A file that is
// neither (a malformed line, an unknown or repeated name, a PEM block that is not an RSA
// key, an encrypted PEM key) is a usage error naming the file and the reason.
KeyFile ReadKeyFile(const std::string& path, std::istream& standardInput);

// The key as name=decimal lines: the public half (n, e) or the whole private key, after a
// comment line that says which.
Secret KeyAsText(const TRsaKey& key, bool privatePart);
// The key as PEM: PKCS#8 ("PRIVATE KEY") for the whole private key, SubjectPublicKeyInfo
// ("PUBLIC KEY") for the public half.
Secret KeyAsPem(const TRsaKey& key, bool privatePart);

}  // namespace xkit::cli
