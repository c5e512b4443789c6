// Built projectors signed with Authenticode by osslsigncode, under a
// certificate authority the test makes: every reader finds the package
// before the signature, and a signature that does not end the file is named.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"
#include "support/test_signer.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

class SignedProjector : public test::TempDirTest {};

TEST_F(SignedProjector, IsReadAsBeforeAndADamagedSignatureIsNamed) {
    if (const std::string why = test::SigningUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const test::TestSigner signer = test::MakeTestSigner(dir_.string());
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        test::SwfBuilder movie;
        movie.fsExec("vexelprint(0,0,0,0)");
        test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(movie.build(), {.bits64 = wide}));
        std::ofstream(Path("readme.txt")) << "read me";
        const test::CliResult built =
            RunCli({"build", "--projector", Path("movie.exe"), "--add", Path("readme.txt"), "-o", Path("built.exe")});
        ASSERT_EQ(built.exitCode, 0) << built.err;
        ASSERT_TRUE(test::SignWithOsslsigncode(signer, Path("built.exe"), Path("signed.exe")));
        EXPECT_TRUE(test::VerifyWithOsslsigncode(signer, Path("signed.exe")));

        const test::CliResult plain = RunCli({"show", Path("built.exe")});
        const test::CliResult show = RunCli({"show", Path("signed.exe")});
        ASSERT_EQ(show.exitCode, 0) << show.err;
        // The same, with the signature's line added.
        const std::string line = "Signature: signed by /CN=VexelSCREEN Test Signer, digest SHA256, matches the file\n";
        std::string withoutSignature = show.out;
        const std::size_t at = withoutSignature.find(line);
        ASSERT_NE(at, std::string::npos) << show.out;
        withoutSignature.erase(at, line.size());
        EXPECT_EQ(withoutSignature, plain.out);
        fs::remove_all(dir_ / "x");
        const test::CliResult extract = RunCli({"extract", Path("signed.exe"), Path("x")});
        ASSERT_EQ(extract.exitCode, 0) << extract.err;
        EXPECT_TRUE(fs::exists(dir_ / "x" / "readme.txt"));
        EXPECT_TRUE(fs::exists(dir_ / "x" / "movie.exe"));
        EXPECT_EQ(RunCli({"movie", Path("signed.exe"), "-o", Path("back.swf")}).exitCode, 0);

        // Bytes added after the signature: the table no longer ends the file.
        std::ofstream(Path("signed.exe"), std::ios::app | std::ios::binary) << "appended";
        const test::CliResult damaged = RunCli({"show", Path("signed.exe")});
        EXPECT_EQ(damaged.exitCode, 1);
        EXPECT_NE(damaged.err.find("signature is damaged: its certificate table does not end the file"), std::string::npos)
            << damaged.err;
    }
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The PE checksum as the loader computes it: 16-bit sums with carries, the
// checksum field left out, plus the file's length.
std::uint32_t PeChecksum(const std::string& file, std::size_t& storedAt) {
    std::uint32_t lfanew = 0;
    std::memcpy(&lfanew, file.data() + 0x3C, 4);
    storedAt = lfanew + 24 + 64;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        if (i >= storedAt && i < storedAt + 4) continue;
        std::uint32_t word = static_cast<unsigned char>(file[i]);
        if (i + 1 < file.size()) word |= static_cast<std::uint32_t>(static_cast<unsigned char>(file[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + file.size());
}

TEST_F(SignedProjector, BuildAndSignMakeProjectorsThatVerifyAndShowTheirSignature) {
    if (const std::string why = test::SigningUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const test::TestSigner signer = test::MakeTestSigner(dir_.string());
    test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(test::SwfBuilder().build()));
    std::ofstream(Path("password.txt")) << "secret words\n";
    ASSERT_EQ(std::system(("openssl pkcs12 -export -in '" + signer.certificate + "' -inkey '" + signer.key + "' -out '" +
                           Path("signer.p12") + "' -passout 'pass:secret words' >/dev/null 2>&1")
                              .c_str()),
              0);

    // A build signs its projector with a PEM certificate and key.
    const test::CliResult built = RunCli({"build", "--projector", Path("movie.exe"), "-o", Path("built.exe"), "--sign",
                                          signer.certificate, "--sign-key", signer.key, "--sign-description", "Demo"});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_TRUE(test::VerifyWithOsslsigncode(signer, Path("built.exe")));
    const std::string bytes = Slurp(Path("built.exe"));
    std::size_t checksumAt = 0;
    const std::uint32_t checksum = PeChecksum(bytes, checksumAt);
    std::uint32_t stored = 0;
    std::memcpy(&stored, bytes.data() + checksumAt, 4);
    EXPECT_EQ(stored, checksum);
    const test::CliResult show = RunCli({"show", Path("built.exe")});
    EXPECT_NE(show.out.find("Signature: signed by /CN=VexelSCREEN Test Signer, digest SHA256, matches the file"),
              std::string::npos)
        << show.out << show.err;

    // `sign` signs a projector built before, with a PKCS#12 file and its password.
    ASSERT_EQ(RunCli({"build", "--projector", Path("movie.exe"), "-o", Path("later.exe")}).exitCode, 0);
    const std::string unsignedBytes = Slurp(Path("later.exe"));
    const test::CliResult wrong = RunCli({"sign", Path("later.exe"), "--cert", Path("signer.p12")});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("could not be signed"), std::string::npos) << wrong.err;
    EXPECT_TRUE(Slurp(Path("later.exe")) == unsignedBytes);
    const test::CliResult signedLater =
        RunCli({"sign", Path("later.exe"), "--cert", Path("signer.p12"), "--password-file", Path("password.txt")});
    ASSERT_EQ(signedLater.exitCode, 0) << signedLater.err;
    EXPECT_TRUE(test::VerifyWithOsslsigncode(signer, Path("later.exe")));
    EXPECT_EQ(RunCli({"sign", Path("later.exe"), "--cert", signer.certificate}).err.find("signed already") != std::string::npos, true);

    // A file that is not a projector of ours is refused and left alone.
    const std::string movieBytes = Slurp(Path("movie.exe"));
    const test::CliResult notOurs = RunCli({"sign", Path("movie.exe"), "--cert", signer.certificate});
    EXPECT_NE(notOurs.err.find("is not a projector built by the generator"), std::string::npos) << notOurs.err;
    EXPECT_TRUE(Slurp(Path("movie.exe")) == movieBytes);

    // One changed byte in the package: the signature no longer matches.
    std::string changed = Slurp(Path("later.exe"));
    changed[changed.size() / 2] ^= 0x01;
    std::ofstream(Path("changed.exe"), std::ios::binary) << changed;
    const test::CliResult changedShow = RunCli({"show", Path("changed.exe")});
    EXPECT_NE(changedShow.out.find("does NOT match the file: the file was changed after it was signed"), std::string::npos)
        << changedShow.out << changedShow.err;
    // Without osslsigncode, signing is refused with what to install, and
    // nothing is written.
    const test::CliResult noSigner = test::RunCliAfter(
        "PATH=/nonexistent", {"build", "--projector", Path("movie.exe"), "-o", Path("none.exe"), "--sign", signer.certificate});
    EXPECT_EQ(noSigner.exitCode, 1);
    EXPECT_NE(noSigner.err.find("Signing needs osslsigncode, which was not found: install it"), std::string::npos)
        << noSigner.err;
    EXPECT_FALSE(fs::exists(Path("none.exe")));
    // Nothing of the signing stays behind.
    for (const auto& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

}  // namespace
}  // namespace vs
