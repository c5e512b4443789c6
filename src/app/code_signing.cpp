#include "app/code_signing.h"

#include <cctype>
#include <filesystem>
#include <random>
#include <sstream>

#include "package/package_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/run_program.h"
#include "platform/stream.h"
#include "platform/temp_files.h"

namespace vs {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSigner = "osslsigncode";
constexpr const char* kInstallSigner =
    "Signing needs osslsigncode, which was not found: install it (Debian and Ubuntu: apt install osslsigncode; "
    "Windows: put osslsigncode.exe on the PATH)";

// The password in a file that only the user can read, for as long as the
// signer needs it.
class PasswordFile {
public:
    explicit PasswordFile(const std::string& password) {
        std::random_device random;
        const fs::path dir = fs::temp_directory_path();
        name_ = Utf8Of(dir / ("VS signing " + std::to_string(random()) + ".txt"));
        live_ = std::make_unique<LiveTempFile>(name_);
        TFileStream file(name_, FileMode::Create);
        std::error_code ec;
        fs::permissions(PathOf(name_), fs::perms::owner_read | fs::perms::owner_write, ec);
        const std::string line = password + "\n";
        file.WriteBuffer(line.data(), line.size());
    }
    ~PasswordFile() {
        RemoveFile(name_);
        live_->Forget();
    }
    const std::string& name() const { return name_; }

private:
    std::string name_;
    std::unique_ptr<LiveTempFile> live_;
};

// The signer's last words that say what went wrong.
std::string Said(const std::string& output) {
    std::istringstream lines(output);
    std::string line, said;
    while (std::getline(lines, line)) {
        if (line.empty() || line.rfind("Usage", 0) == 0) continue;
        if (!said.empty()) said += "; ";
        said += line;
        if (said.size() > 400) break;
    }
    return said;
}

// The value after "Label:" on the first line that has it.
std::string ValueOf(const std::string& output, const std::string& label) {
    const std::size_t at = output.find(label);
    if (at == std::string::npos) return {};
    std::size_t begin = at + label.size();
    const std::size_t end = output.find('\n', begin);
    while (begin < output.size() && output[begin] == ' ') ++begin;
    return output.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The first word of hexadecimal digits after the colon.
std::string HexAfterColon(const std::string& text) {
    std::size_t at = text.find(':');
    if (at == std::string::npos) return {};
    ++at;
    while (at < text.size() && text[at] == ' ') ++at;
    std::size_t end = at;
    while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
    return text.substr(at, end - at);
}

}  // namespace

bool IsPkcs12File(const std::string& certificate) {
    TFileStream file(certificate, FileMode::OpenRead);
    std::uint8_t first = 0;
    return file.Read(&first, 1) == 1 && first == 0x30;
}

void SignExecutable(const std::string& in, const std::string& out, const SigningRequest& request) {
    std::vector<std::string> args = {"sign"};
    if (IsPkcs12File(request.certificate)) {
        args.insert(args.end(), {"-pkcs12", request.certificate});
    } else {
        args.insert(args.end(), {"-certs", request.certificate, "-key",
                                 request.key.empty() ? request.certificate : request.key});
    }
    std::unique_ptr<PasswordFile> password;
    if (!request.password.empty()) {
        password = std::make_unique<PasswordFile>(request.password);
        args.insert(args.end(), {"-readpass", password->name()});
    }
    args.insert(args.end(), {"-h", "sha256"});
    if (!request.description.empty()) args.insert(args.end(), {"-n", request.description});
    if (!request.timestampUrl.empty()) args.insert(args.end(), {"-ts", request.timestampUrl});
    args.insert(args.end(), {"-in", in, "-out", out});
    const std::optional<ProgramRun> run = RunProgram(kSigner, args);
    if (!run || run->exitCode == 127) throw VsError(kInstallSigner);
    if (run->exitCode != 0 || KindOfPath(out) != PathKind::File) {
        RemoveFile(out);
        throw VsError("The projector could not be signed with " + request.certificate + ": " + Said(run->output));
    }
}

std::unique_ptr<AtomicFile> SignToPending(const std::string& in, const std::string& target,
                                          const SigningRequest& request) {
    auto signedFile = std::make_unique<AtomicFile>(target);
    // The signer writes its output itself, and only where no file is.
    signedFile->CloseStream();
    RemoveFile(signedFile->tempName());
    SignExecutable(in, signedFile->tempName(), request);
    signedFile->UseNormalPermissions(true);
    return signedFile;
}

std::unique_ptr<AtomicFile> SignPending(AtomicFile& unsignedFile, const SigningRequest& request) {
    unsignedFile.Finish();
    return SignToPending(unsignedFile.tempName(), unsignedFile.target(), request);
}

SignatureReport ReadSignature(const std::string& file) {
    SignatureReport report;
    {
        TFileStream stream(file, FileMode::OpenRead);
        report.isSigned = FindCertificateTable(stream).has_value();
    }
    if (!report.isSigned) return report;
    const std::optional<ProgramRun> run = RunProgram(kSigner, {"verify", "-in", file});
    if (!run || run->exitCode == 127) {
        report.note = "osslsigncode is not installed, so the signature was not checked";
        return report;
    }
    report.checked = true;
    report.signer = ValueOf(run->output, "Subject:");
    report.digest = ValueOf(run->output, "Message digest algorithm:");
    // The digest the signature holds, and the one of the file as it is now.
    const std::string current = HexAfterColon(ValueOf(run->output, "Current message digest"));
    const std::string calculated = HexAfterColon(ValueOf(run->output, "Calculated message digest"));
    report.matches = !current.empty() && current == calculated;
    if (!report.matches) report.note = "the file was changed after it was signed";
    return report;
}

}  // namespace vs
