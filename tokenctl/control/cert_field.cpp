#include "cert_field.h"

#include <windows.h>
#include <wincrypt.h>

#include "token_text.h"
#include "scoped_cert.h"

namespace orv::tokenctl {
namespace {

std::string dateOf(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME t;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &t))
    return std::string();
  return dateText(t.wYear, t.wMonth, t.wDay);
}

// CertNameToStrA and CertGetNameStringA both report the size with the terminating zero.
std::string trimmedText(std::string text, DWORD written) {
  text.resize(written > 0 ? written - 1 : 0);
  return text;
}

}  // namespace

std::string formatCertificateField(const std::vector<unsigned char>& der, CertField field) {
  if (der.empty()) return std::string();
  ScopedCertContext cert(::CertCreateCertificateContext(
      X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!cert.get()) return std::string();
  const CERT_INFO* info = cert.get()->pCertInfo;
  switch (field) {
    case CertField::Subject: {
      // Sized first, so that a long subject is returned whole.
      auto* name = const_cast<CERT_NAME_BLOB*>(&info->Subject);
      const DWORD n = ::CertNameToStrA(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, nullptr, 0);
      if (n <= 1) return std::string();
      std::string text(n, '\0');
      const DWORD written =
          ::CertNameToStrA(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, &text[0], n);
      return trimmedText(std::move(text), written);
    }
    case CertField::CommonName: {
      const DWORD n =
          ::CertGetNameStringA(cert.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
      if (n <= 1) return std::string();
      std::string text(n, '\0');
      const DWORD written =
          ::CertGetNameStringA(cert.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, &text[0], n);
      return trimmedText(std::move(text), written);
    }
    case CertField::SerialNumber:
      return serialNumberText(info->SerialNumber.pbData, info->SerialNumber.cbData);
    case CertField::StartDate:
      return dateOf(info->NotBefore);
    case CertField::EndDate:
      return dateOf(info->NotAfter);
  }
  return std::string();
}

}  // namespace orv::tokenctl
