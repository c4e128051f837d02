#pragma once
// The five certificate fields the control returns, formatted with CryptoAPI from the DER value
// of the token's certificate object.
#include <string>
#include <vector>

namespace orv::tokenctl {

enum class CertField { Subject = 1, CommonName = 2, SerialNumber = 3, StartDate = 4, EndDate = 5 };

// The field as narrow text (ANSI code page); empty when the value is not a certificate.
std::string formatCertificateField(const std::vector<unsigned char>& der, CertField field);

}  // namespace orv::tokenctl
