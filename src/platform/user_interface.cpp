#include "platform/user_interface.h"

#include <iostream>
#include <string>


namespace vs {

namespace {
// Messages join their lines with a lone carriage return; a terminal wants line feeds.
std::string forTerminal(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c == '\r') c = '\n';
    return s;
}
}  // namespace

void ConsoleInterface::warning(std::string_view text) { std::cerr << "warning: " << forTerminal(text) << '\n'; }
void ConsoleInterface::error(std::string_view text) { std::cerr << "error: " << forTerminal(text) << '\n'; }
bool ConsoleInterface::confirm(std::string_view text) {
    std::cerr << forTerminal(text) << " [answered No]\n";
    return false;
}

}  // namespace vs
