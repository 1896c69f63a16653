// The SHA-256 fingerprint of a certificate, the way a user would copy it to
// pin the certificate.
#pragma once

#include <cstdio>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <string>

// The fingerprint of the certificate in a PEM file as hex, the bytes apart
// by separator ("" for none); "" when the file holds no certificate.
inline std::string certificate_fingerprint(const std::string &pem, const char *separator = ":")
{
    std::FILE *f = std::fopen(pem.c_str(), "r");
    X509 *cert = f != nullptr ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
    if (f != nullptr) {
        std::fclose(f);
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    std::string hex;
    if (cert != nullptr && X509_digest(cert, EVP_sha256(), md, &size) == 1) {
        for (unsigned int i = 0; i < size; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", md[i]);
            hex += (i > 0 ? separator : "") + std::string(byte);
        }
    }
    X509_free(cert);
    return hex;
}
