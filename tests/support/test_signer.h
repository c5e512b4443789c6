#pragma once
// A certificate authority and a code-signing certificate made at run time with
// the openssl program, and Authenticode signing with osslsigncode, for the
// tests of signed projectors. No key is ever kept in the tree.
#include <string>

namespace vs::test {

struct TestSigner {
    std::string caCertificate;  // PEM
    std::string certificate;    // PEM, issued by the authority for code signing
    std::string key;            // PEM, unencrypted
};

// Why signing cannot be tested here (a program missing), or empty.
std::string SigningUnavailable();

// Makes the authority and the certificate in `dir`.
TestSigner MakeTestSigner(const std::string& dir);

// osslsigncode sign; true when it succeeded.
bool SignWithOsslsigncode(const TestSigner& signer, const std::string& in, const std::string& out);
// osslsigncode verify against the test authority; true when it accepts.
bool VerifyWithOsslsigncode(const TestSigner& signer, const std::string& file);

}  // namespace vs::test
