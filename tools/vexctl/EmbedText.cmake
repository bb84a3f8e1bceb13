# Writes a C++ source defining `extern const char SYMBOL[]`: the bytes of INPUT followed by a NUL.
file(READ ${INPUT} content HEX)
string(LENGTH "${content}" length)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
string(REGEX REPLACE "(('[^']*',){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
    "// Generated from ${INPUT}; do not edit.\n"
    "extern const char ${SYMBOL}[];\n"
    "const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
