# Writes OUT, a C++ source that holds the font atlas ATLAS as the constant
# fontImage: the web build's stand-in for the .incbin of the native build,
# which the WebAssembly assembler lacks.
file(READ "${ATLAS}" atlasHex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," atlasBytes "${atlasHex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n" atlasBytes "${atlasBytes}")
file(WRITE "${OUT}.tmp"
    "// Generated from ${ATLAS}; edit that.\n"
    "#include \"app/font.h\"\n\n"
    "alignas(16) const uint8_t fontImage[fontImageBytes] = {\n${atlasBytes}};\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
