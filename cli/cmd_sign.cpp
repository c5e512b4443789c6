// vexelscreen sign FILE --cert CERT [--key KEY] [--password-file F] [--description TEXT] [--timestamp URL]
//
// Signs a projector that the generator built, in place: the signed file takes
// the place of the unsigned one only once it is complete.
#include <iostream>

#include "app/code_signing.h"
#include "cli/commands.h"
#include "cli/signing_options.h"
#include "package/package_file.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::cli {

void addSignCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("sign", "Sign a built projector with Authenticode (osslsigncode)");
    auto file = std::make_shared<std::string>();
    auto o = std::make_shared<SigningOptions>();
    cmd->add_option("FILE", *file, "A projector built by the generator")->required();
    cmd->add_option("--cert", o->certificate, "A PKCS#12 file (.p12, .pfx), or a PEM certificate (with its key, or --key)")
        ->required();
    AddSigningOptions(*cmd, *o, "");
    cmd->callback([file, o] {
        runWithReasons([&] {
            {
                TFileStream in(*file, FileMode::OpenRead);
                bool projector = false;
                try {
                    projector = LocateSettings(in).source == SettingsSource::Projector;
                } catch (const ECertificateTableError&) {
                    throw;
                } catch (const VsError&) {
                }
                if (!projector) throw VsError(*file + " is not a projector built by the generator; nothing was signed");
                if (FindCertificateTable(in))
                    throw VsError(*file + " is signed already; sign the projector as it was built");
            }
            const SigningRequest request = MakeSigningRequest(*o);
            SignToPending(*file, *file, request)->Commit();
            const SignatureReport report = ReadSignature(*file);
            std::cout << "Signed " << *file << (report.signer.empty() ? "" : " as " + report.signer) << "\n";
            return 0;
        });
    });
}

}  // namespace vs::cli
