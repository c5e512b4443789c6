#pragma once
// The program's arguments as UTF-8, whatever the system. On Windows the C
// runtime gives main its arguments in the ANSI code page, which cannot spell
// every file name, so they are taken again from the UTF-16 command line, and
// standard output and standard error are set to carry UTF-8 bytes unchanged.
// Elsewhere the arguments are UTF-8 already and nothing changes.
#include <string>
#include <vector>

namespace vs::cli {

class Utf8Arguments {
public:
    // Points argc and argv at the UTF-8 arguments, which live as long as this object.
    // On Windows the console's code pages are changed for the program's run
    // and put back when the object goes, or when a console event ends the
    // program (a handler of its own, which must be installed after the one
    // that ends the program, since the newest handler runs first).
    Utf8Arguments(int& argc, char**& argv);
    ~Utf8Arguments();
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
};

}  // namespace vs::cli
