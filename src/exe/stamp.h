#pragma once
// Stamping an executable with the version resource and the icon that a build
// gives the engine, all or nothing: the file is read once, every step is made
// in memory, and the result replaces the file (through a temporary file beside
// it) only when every step that must succeed did. A failure leaves the file as
// it was.
//
// The two callers want different things of a step that cannot be done. The
// stamp command wants every failure to be an error. A build stamps its own
// temporary output: it wants the version resource written when possible and
// ignores a refusal, so that is reported in the result; the icon step's errors
// are thrown, but an engine without an icon image to replace is reported.
#include <optional>
#include <string>

#include "exe/icon.h"
#include "exe/version_info.h"
#include "platform/errors.h"

namespace vs {

// What a step does when it cannot be done.
enum class StampFailure {
    Throw,   // fail, leaving the file as it was
    Report,  // go on with the other steps and say so in the result
};

struct StampRequest {
    // The version resource to write (type 16, name 1, language 1033), if any.
    std::optional<TVersionInfoRec> version;
    VersionBlockLayout versionLayout = VersionBlockLayout::FixedSlots;
    // When the resources cannot be rewritten safely.
    StampFailure refusedVersion = StampFailure::Throw;

    // The icon to write over the first icon image, if any.
    std::optional<TIcon> icon;
    // When the file has no icon image to replace.
    StampFailure noIconImage = StampFailure::Throw;

    // Every failure an error: the stamp command.
    static StampRequest Strict() { return {}; }
    // A build: a refused version update and a missing icon image are
    // reported; anything else is thrown.
    static StampRequest ForBuild() {
        StampRequest r;
        r.refusedVersion = StampFailure::Report;
        r.noIconImage = StampFailure::Report;
        return r;
    }
};

struct StampResult {
    bool versionWritten = false;
    std::string versionRefusal;  // why the version was not written, when that was reported
    bool iconWritten = false;
    bool noIconImage = false;  // the file had no icon image to replace, when that was reported
};

// The executable has no icon image that an icon could replace.
class ENoIconImageError : public EExeError {
public:
    explicit ENoIconImageError(const std::string& fileName) : EExeError(fileName + " has no icon image to replace") {}
};

// Writes what the request asks for into the executable. A request with
// neither a version nor an icon leaves the file alone. Fails, leaving the
// file byte for byte as it was, with:
//  - "Cannot open file %s" (EFOpenError) when the file cannot be read;
//  - EResourceUpdateError, naming the file and the reason, when the version
//    resource cannot be written and refusedVersion is Throw;
//  - the resource reader's EExeError when the icon step finds no executable
//    ("unrecognized file format", "No resources in this file.", ...);
//  - ENoIconImageError when noIconImage is Throw and there is no icon image;
//  - EInvalidGraphic for an icon without a colour image ("Bitmap image is not
//    valid") or one whose image has no room in the slot;
//  - "Cannot create file %s" (EFCreateError) when the result cannot be written.
StampResult StampExecutable(const std::string& fileName, const StampRequest& request);

}  // namespace vs
