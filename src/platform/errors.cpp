#include "platform/errors.h"

namespace vs {

std::string cannotOpenFile(const std::string& name) { return "Cannot open file " + name; }
std::string cannotCreateFile(const std::string& name) { return "Cannot create file " + name; }

}  // namespace vs
