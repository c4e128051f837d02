#pragma once
// Owners of OpenSSL objects: each is freed by its library function exactly once.
#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>

#include <memory>

namespace orv {

struct OpenSslFree {
  void operator()(BIO* p) const { BIO_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(OSSL_DECODER_CTX* p) const { OSSL_DECODER_CTX_free(p); }
};

using BioPtr = std::unique_ptr<BIO, OpenSslFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslFree>;
using DecoderCtxPtr = std::unique_ptr<OSSL_DECODER_CTX, OpenSslFree>;

}  // namespace orv
