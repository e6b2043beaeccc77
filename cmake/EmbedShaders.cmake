# Writes OUT, a C++ source that holds the texts of VERT and FRAG as the
# constants vertexShaderSource and fragmentShaderSource. With PRELUDE, the
# texts are made for another GLSL dialect: their version and extension lines
# give way to the prelude's text.
file(READ "${VERT}" vertexText)
file(READ "${FRAG}" fragmentText)
if(PRELUDE)
    file(READ "${PRELUDE}" preludeText)
    foreach(stage vertexText fragmentText)
        string(REGEX REPLACE "(^|\n)#(version|extension)[^\n]*" "\\1" ${stage} "${${stage}}")
        set(${stage} "${preludeText}${${stage}}")
    endforeach()
endif()
file(WRITE "${OUT}.tmp"
    "// Generated from ${VERT} and ${FRAG}; edit those.\n"
    "#include \"shaders/shaders.h\"\n\n"
    "const char *const vertexShaderSource = R\"glsl(${vertexText})glsl\";\n\n"
    "const char *const fragmentShaderSource = R\"glsl(${fragmentText})glsl\";\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
