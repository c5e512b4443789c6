#pragma once
// Authenticode signatures of built projectors, made and read by osslsigncode,
// the field's maintained signer: it builds the PKCS#7 structure with OpenSSL,
// hashes the image as Authenticode asks and sets the PE checksum, so that
// nothing of the cryptography is written here. Where it is not installed,
// signing is refused with a message that says what to install.
#include <memory>
#include <optional>
#include <string>

#include "platform/atomic_file.h"

namespace vs {

struct SigningRequest {
    // A PKCS#12 file (.p12, .pfx), or a PEM file with the certificate (and
    // the key, unless `key` names a file of its own).
    std::string certificate;
    std::string key;
    // Of the PKCS#12 file or of an encrypted key; handed over through a file
    // only the user can read, removed at once, and never stored.
    std::string password;
    std::string description;   // the name Windows shows for the program
    std::string timestampUrl;  // an RFC 3161 time-stamping server, optional
};

// Whether a certificate file is PKCS#12 (by its first bytes: a DER sequence
// rather than PEM text).
bool IsPkcs12File(const std::string& certificate);

// Signs the executable `in` into `out` (which must not exist). Fails, saying
// what to install, when no signer is there, and with the signer's own words
// when it refuses (a wrong password, a key that does not fit the
// certificate, an unreachable time-stamping server).
void SignExecutable(const std::string& in, const std::string& out, const SigningRequest& request);

// Signs the complete file that `unsignedFile` is about to put in place: the
// result is a new pending file for the same target, and the unsigned one is
// dropped when the caller lets it go.
std::unique_ptr<AtomicFile> SignPending(AtomicFile& unsignedFile, const SigningRequest& request);
// Signs the file `in` into a pending file for `target` (which may be `in`).
std::unique_ptr<AtomicFile> SignToPending(const std::string& in, const std::string& target,
                                          const SigningRequest& request);

// What a file's signature says, as the signer reads it back.
struct SignatureReport {
    bool isSigned = false;
    bool checked = false;     // a signer was there to read it
    std::string signer;       // the signing certificate's subject
    std::string digest;       // "SHA256", ...
    bool matches = false;     // the file's Authenticode hash is still the one that was signed
    std::string note;         // why it could not be checked, or what does not match
};
SignatureReport ReadSignature(const std::string& file);

}  // namespace vs
