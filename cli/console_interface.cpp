#include "cli/console_interface.h"

#include <iostream>
#include <string>

namespace vs::cli {

std::string ForTerminal(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c == '\r') c = '\n';
    return s;
}

void ConsoleInterface::warning(std::string_view text) { std::cerr << "warning: " << ForTerminal(text) << '\n'; }
void ConsoleInterface::error(std::string_view text) { std::cerr << "error: " << ForTerminal(text) << '\n'; }
bool ConsoleInterface::confirm(std::string_view text) {
    std::cerr << ForTerminal(text) << " [answered No]\n";
    return false;
}

}  // namespace vs::cli
