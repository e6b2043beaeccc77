# Writes OUT, a C++ source that holds the texts of VERT and FRAG as the
# constants vertexShaderSource and fragmentShaderSource.
file(READ "${VERT}" vertexText)
file(READ "${FRAG}" fragmentText)
file(WRITE "${OUT}.tmp"
    "// Generated from ${VERT} and ${FRAG}; edit those.\n"
    "#include \"shaders/shaders.h\"\n\n"
    "const char *const vertexShaderSource = R\"glsl(${vertexText})glsl\";\n\n"
    "const char *const fragmentShaderSource = R\"glsl(${fragmentText})glsl\";\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
