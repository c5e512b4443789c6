#include "support/test_signer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vs::test {

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

std::string SigningUnavailable() {
    if (!Run("openssl version")) return "no openssl program to make a test certificate authority with";
    if (!Run("osslsigncode --version")) return "no osslsigncode to sign projectors with";
    return {};
}

TestSigner MakeTestSigner(const std::string& dir) {
    TestSigner s{dir + "/ca.pem", dir + "/signer.pem", dir + "/signer.key"};
    const std::string caKey = dir + "/ca.key", request = dir + "/signer.csr", extensions = dir + "/signer.ext";
    std::ofstream(extensions) << "extendedKeyUsage=codeSigning\nkeyUsage=digitalSignature\n";
    const bool ok =
        Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=VexelSCREEN Test Authority' -keyout " +
            Quote(caKey) + " -out " + Quote(s.caCertificate)) &&
        Run("openssl req -newkey rsa:2048 -nodes -subj '/CN=VexelSCREEN Test Signer' -keyout " + Quote(s.key) +
            " -out " + Quote(request)) &&
        Run("openssl x509 -req -days 2 -in " + Quote(request) + " -CA " + Quote(s.caCertificate) + " -CAkey " +
            Quote(caKey) + " -CAcreateserial -extfile " + Quote(extensions) + " -out " + Quote(s.certificate));
    if (!ok) throw std::runtime_error("openssl could not make the test certificates in " + dir);
    return s;
}

bool SignWithOsslsigncode(const TestSigner& signer, const std::string& in, const std::string& out) {
    std::remove(out.c_str());  // osslsigncode writes no output over a file that is there
    return Run("osslsigncode sign -certs " + Quote(signer.certificate) + " -key " + Quote(signer.key) +
               " -h sha256 -n 'Signed projector' -in " + Quote(in) + " -out " + Quote(out));
}

bool VerifyWithOsslsigncode(const TestSigner& signer, const std::string& file) {
    return Run("osslsigncode verify -CAfile " + Quote(signer.caCertificate) + " -in " + Quote(file));
}

}  // namespace vs::test
