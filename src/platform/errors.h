#pragma once
// Failures are exceptions that carry the system's own message text.
#include <stdexcept>
#include <exception>
#include <string>
#include <utility>

namespace vs {

class VsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure of a file or stream. Its text is the system's own message; the
// reason, when known, is what the system said caused it (and the file, where
// the text names none), so that a user sees "Cannot create file X: No space
// left on device" through FailureText.
class EStreamError : public VsError {
public:
    explicit EStreamError(const std::string& text, std::string reason = {})
        : VsError(text), reason_(std::move(reason)) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};
class EReadError : public EStreamError { public: using EStreamError::EStreamError; };
class EWriteError : public EStreamError { public: using EStreamError::EStreamError; };
class EFOpenError : public EStreamError { public: using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { public: using EStreamError::EStreamError; };
class EInvalidOperation : public VsError { public: using VsError::VsError; };
class EInvalidGraphic : public VsError { public: using VsError::VsError; };
class EExeError : public VsError { public: using VsError::VsError; };
class EZlibError : public VsError { public: using VsError::VsError; };
class EClassNotFound : public VsError { public: using VsError::VsError; };
class EConvertError : public VsError { public: using VsError::VsError; };

namespace msg {
inline constexpr const char* InvalidStreamFormat = "Invalid stream format";
inline constexpr const char* StreamRead = "Stream read error";
inline constexpr const char* StreamWrite = "Stream write error";
inline constexpr const char* InvalidPropertyValue = "Invalid property value";
inline constexpr const char* UnknownProperty = "Property does not exist";
inline constexpr const char* InvalidPropertyPath = "Invalid property path";
inline constexpr const char* ReadOnlyProperty = "Property is read-only";
inline constexpr const char* InvalidStreamOperation = "Invalid stream operation";
inline constexpr const char* InputFileEmpty = "Input file is empty";
inline constexpr const char* InvalidBitmap = "Bitmap image is not valid";
inline constexpr const char* InvalidIcon = "Icon image is not valid";
}  // namespace msg

// "Cannot open file %s" / "Cannot create file %s"
std::string cannotOpenFile(const std::string& name);
std::string cannotCreateFile(const std::string& name);

// The system's text for the last failed call (errno), or empty when there is none.
std::string LastSystemError();

// What a user is told of a failure: its text, then ": " and its reason when
// it carries one.
std::string FailureText(const std::exception& failure);

}  // namespace vs
