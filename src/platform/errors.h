#pragma once
// Failures are exceptions that carry the system's own message text.
#include <stdexcept>
#include <string>

namespace vs {

class VsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EStreamError : public VsError { public: using VsError::VsError; };
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

}  // namespace vs
