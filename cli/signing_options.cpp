#include "cli/signing_options.h"

#include <cstdlib>
#include <iostream>

#include "platform/errors.h"
#include "platform/stream.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace vs::cli {

namespace {

bool OnTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return ::isatty(0) != 0;
#endif
}

// A line from the terminal with its echo off.
std::string AskPassword(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    std::string line;
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::getline(std::cin, line);
    SetConsoleMode(in, mode);
#else
    termios old{};
    const bool terminal = ::tcgetattr(0, &old) == 0;
    if (terminal) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(0, TCSANOW, &quiet);
    }
    std::getline(std::cin, line);
    if (terminal) ::tcsetattr(0, TCSANOW, &old);
#endif
    std::cerr << "\n";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

void AddSigningOptions(CLI::App& cmd, SigningOptions& o, const std::string& prefix) {
    cmd.add_option("--" + prefix + "key", o.key, "The PEM private key, when it is not in the certificate's file");
    cmd.add_option("--" + prefix + "password-file", o.passwordFile,
                   "A file whose first line is the password of the certificate or key (default: "
                   "VEXELSCREEN_SIGN_PASSWORD, else asked for on a terminal for a PKCS#12 file)");
    cmd.add_option("--" + prefix + "description", o.description, "The program's name that Windows shows for the signature");
    cmd.add_option("--timestamp", o.timestampUrl, "An RFC 3161 time-stamping server (URL)");
}

SigningRequest MakeSigningRequest(const SigningOptions& o) {
    if (!FileExists(o.certificate)) throw EFOpenError(cannotOpenFile(o.certificate));
    SigningRequest r{o.certificate, o.key, {}, o.description, o.timestampUrl};
    if (!o.passwordFile.empty()) {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(o.passwordFile);
        r.password.assign(bytes.begin(), bytes.end());
        r.password = r.password.substr(0, r.password.find_first_of("\r\n"));
    } else if (const char* env = std::getenv("VEXELSCREEN_SIGN_PASSWORD")) {
        r.password = env;
    } else if (IsPkcs12File(o.certificate) && OnTerminal()) {
        r.password = AskPassword("Password of " + o.certificate + ": ");
    }
    return r;
}

}  // namespace vs::cli
