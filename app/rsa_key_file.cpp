// Key files: reading and writing name=decimal lines, and PEM through OpenSSL's decoders and
// encoders. Every text that holds private values lives in a Secret (or is wiped before it
// is released); OpenSSL's numbers are cleared when freed.
#include "app/rsa_key_file.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "app/cli.h"

namespace xkit::cli {

namespace {

// -- OpenSSL's objects, owned ------------------------------------------------------------------

struct BignumFree {
  void operator()(BIGNUM* n) const { BN_clear_free(n); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DecoderFree {
  void operator()(OSSL_DECODER_CTX* context) const { OSSL_DECODER_CTX_free(context); }
};
struct BuilderFree {
  void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
};
struct ParamsFree {
  void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bignum = std::unique_ptr<BIGNUM, BignumFree>;
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// Overwrites a string's bytes before it goes.
void Wipe(std::string& text) {
  OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

// The value of a record (big-endian bytes) as an OpenSSL number.
Bignum ToBignum(const TFGInt& value) {
  std::string bits, bytes;
  BigToBits(value, bits);
  BitsToBytes(bits, bytes);
  Bignum n(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()),
                     static_cast<int>(bytes.size()), nullptr));
  Wipe(bits);
  Wipe(bytes);
  if (!n) throw Failure("out of memory");
  return n;
}

TFGInt FromBignum(const BIGNUM* n) {
  std::string bytes(static_cast<std::size_t>(BN_num_bytes(n)), '\0');
  BN_bn2bin(n, reinterpret_cast<unsigned char*>(bytes.data()));
  TFGInt value;
  BigFromBytes(bytes, value);
  Wipe(bytes);
  return value;
}

// -- Reading -----------------------------------------------------------------------------------

Secret ReadAll(std::istream& in) {
  Secret text;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
    text.Append(chunk, static_cast<std::size_t>(in.gcount()));
  OPENSSL_cleanse(chunk, sizeof chunk);
  return text;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Name=decimal lines; blank lines and lines starting with '#' are skipped.
void ReadDecimalLines(std::string_view text, KeyFile& file) {
  struct Field {
    const char* name;
    TFGInt TRsaKey::*value;
  };
  static constexpr Field kFields[] = {
      {"n", &TRsaKey::Modulus},
      {"e", &TRsaKey::PublicExponent},
      {"d", &TRsaKey::PrivateExponent},
      {"p", &TRsaKey::P},
      {"q", &TRsaKey::Q},
      {"dp", &TRsaKey::ExponentModP},
      {"dq", &TRsaKey::ExponentModQ},
      {"qinv", &TRsaKey::Coefficient},
  };
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "key file " + file.path + " line " + std::to_string(number) + ": ";
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) throw UsageError(where + "expected name=decimal");
    const std::string name(Trimmed(line.substr(0, equals)));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    const auto field = std::find_if(std::begin(kFields), std::end(kFields),
                                    [&](const Field& f) { return name == f.name; });
    if (field == std::end(kFields)) {
      throw UsageError(where + "unknown name '" + name +
                       "' (expected n, e, d, p, q, dp, dq or qinv)");
    }
    if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos) {
      throw UsageError(where + "the value of " + name + " is not a decimal number");
    }
    TFGInt& record = file.key.*(field->value);
    if (file.Has(record)) throw UsageError(where + name + " is given twice");
    std::string digits(value);
    BigFromDecimal(digits, record);
    Wipe(digits);
  }
}

// The value of one of the key's parameters, or an empty record when the key lacks it.
TFGInt Parameter(const EVP_PKEY* key, const char* name) {
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) return {};
  const Bignum value(raw);
  return FromBignum(value.get());
}

void ReadPem(const Secret& text, KeyFile& file) {
  const std::string where = "key file " + file.path + ": ";
  if (text.View().find("ENCRYPTED") != std::string_view::npos) {
    throw UsageError(where + "the key is encrypted; store it unencrypted (openssl pkey -in " +
                     file.path + " -out FILE) and keep that file private");
  }
  EVP_PKEY* raw = nullptr;
  const std::unique_ptr<OSSL_DECODER_CTX, DecoderFree> decoder(
      OSSL_DECODER_CTX_new_for_pkey(&raw, "PEM", nullptr, "RSA", 0, nullptr, nullptr));
  if (!decoder) throw Failure("OpenSSL cannot decode PEM keys here");
  const auto* data = reinterpret_cast<const unsigned char*>(text.Data());
  std::size_t size = text.Size();
  if (OSSL_DECODER_from_data(decoder.get(), &data, &size) != 1 || raw == nullptr) {
    throw UsageError(where + "not an RSA key in PEM (PKCS#1, PKCS#8 or SubjectPublicKeyInfo)");
  }
  const Pkey key(raw);
  BIGNUM* third = nullptr;
  if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR3, &third) == 1) {
    BN_clear_free(third);
    throw UsageError(where + "keys of more than two primes are not supported");
  }
  TRsaKey& k = file.key;
  k.Modulus = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_N);
  k.PublicExponent = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_E);
  k.PrivateExponent = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_D);
  k.P = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1);
  k.Q = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2);
  k.ExponentModP = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1);
  k.ExponentModQ = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2);
  k.Coefficient = Parameter(key.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
}

// -- Writing -----------------------------------------------------------------------------------

// The key as an OpenSSL key: the public half, or the whole private key.
Pkey ToPkey(const TRsaKey& key, bool privatePart) {
  const std::unique_ptr<OSSL_PARAM_BLD, BuilderFree> builder(OSSL_PARAM_BLD_new());
  std::vector<Bignum> values;  // alive until the parameters are built
  const auto push = [&](const char* name, const TFGInt& value) {
    values.push_back(ToBignum(value));
    if (OSSL_PARAM_BLD_push_BN(builder.get(), name, values.back().get()) != 1) {
      throw Failure("OpenSSL cannot build the key");
    }
  };
  push(OSSL_PKEY_PARAM_RSA_N, key.Modulus);
  push(OSSL_PKEY_PARAM_RSA_E, key.PublicExponent);
  if (privatePart) {
    push(OSSL_PKEY_PARAM_RSA_D, key.PrivateExponent);
    push(OSSL_PKEY_PARAM_RSA_FACTOR1, key.P);
    push(OSSL_PKEY_PARAM_RSA_FACTOR2, key.Q);
    push(OSSL_PKEY_PARAM_RSA_EXPONENT1, key.ExponentModP);
    push(OSSL_PKEY_PARAM_RSA_EXPONENT2, key.ExponentModQ);
    push(OSSL_PKEY_PARAM_RSA_COEFFICIENT1, key.Coefficient);
  }
  const std::unique_ptr<OSSL_PARAM, ParamsFree> params(OSSL_PARAM_BLD_to_param(builder.get()));
  const std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* raw = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &raw, privatePart ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        params.get()) != 1) {
    throw Failure("OpenSSL cannot build the key");
  }
  return Pkey(raw);
}

}  // namespace

KeyFile ReadKeyFile(const std::string& path, std::istream& standardInput) {
  KeyFile file{path == "-" ? "(standard input)" : path, {}};
  Input input(path, standardInput);
  const Secret text = ReadAll(input.Stream());
  const std::string_view view = text.View();
  const std::size_t start = view.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && view.substr(start).starts_with("-----BEGIN")) {
    ReadPem(text, file);
  } else {
    ReadDecimalLines(view, file);
  }
  return file;
}

Secret KeyAsText(const TRsaKey& key, bool privatePart) {
  Secret text;
  const auto line = [&](const char* name, const TFGInt& value) {
    std::string decimal;
    BigToDecimal(value, decimal);
    text.Append(name, std::char_traits<char>::length(name));
    text.Append("=", 1);
    text.Append(decimal.data(), decimal.size());
    text.Append("\n", 1);
    Wipe(decimal);
  };
  std::string bits;
  BigToBits(key.Modulus, bits);
  const std::string heading = std::string("# RSA ") + (privatePart ? "private" : "public") +
                              " key, " + std::to_string(bits.size()) + " bits\n";
  text.Append(heading.data(), heading.size());
  line("n", key.Modulus);
  line("e", key.PublicExponent);
  if (privatePart) {
    line("d", key.PrivateExponent);
    line("p", key.P);
    line("q", key.Q);
    line("dp", key.ExponentModP);
    line("dq", key.ExponentModQ);
    line("qinv", key.Coefficient);
  }
  return text;
}

Secret KeyAsPem(const TRsaKey& key, bool privatePart) {
  const Pkey pkey = ToPkey(key, privatePart);
  // A memory BIO that clears its buffer when freed.
  const std::unique_ptr<BIO, BioFree> out(BIO_new(BIO_s_secmem()));
  const int written = out == nullptr ? 0
                      : privatePart  ? PEM_write_bio_PrivateKey(out.get(), pkey.get(), nullptr,
                                                                nullptr, 0, nullptr, nullptr)
                                     : PEM_write_bio_PUBKEY(out.get(), pkey.get());
  if (written != 1) throw Failure("OpenSSL cannot write the key as PEM");
  char* data = nullptr;
  const long size = BIO_get_mem_data(out.get(), &data);
  Secret text;
  text.Append(data, static_cast<std::size_t>(size));
  return text;
}

}  // namespace xkit::cli
