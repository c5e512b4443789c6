#pragma once
// The signing options that `sign` and `build --sign` share, and the password
// they ask for.
#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "app/code_signing.h"

namespace vs::cli {

struct SigningOptions {
    std::string certificate, key, passwordFile, description, timestampUrl;
};

// Adds --<prefix>key, --<prefix>password-file, --<prefix>description and
// --timestamp (the certificate's own option is the caller's).
void AddSigningOptions(CLI::App& cmd, SigningOptions& options, const std::string& prefix);

// The request: the password comes from the password file, else from the
// environment variable VEXELSCREEN_SIGN_PASSWORD, else, for a PKCS#12 file
// on a terminal, from the user, unechoed. It is never stored.
SigningRequest MakeSigningRequest(const SigningOptions& options);

}  // namespace vs::cli
