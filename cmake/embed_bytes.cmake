# Writes the bytes of INPUT as a C++ array SYMBOL (with SYMBOL##Size) into OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n\nnamespace vs {\nextern const unsigned char ${SYMBOL}[] = {\n    ${bytes}\n};\nextern const std::size_t ${SYMBOL}Size = ${size};\n}  // namespace vs\n")
