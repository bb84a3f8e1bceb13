# Compiler flags shared by every target, for g++, mingw-w64 g++ and clang alike. A flag that only
# one compiler knows is added for that compiler only.
add_compile_options(-Wall -Wextra -Werror)

if(VEX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
if(VEX_SANITIZE_THREAD)
    if(VEX_SANITIZE)
        message(FATAL_ERROR "VEX_SANITIZE_THREAD and VEX_SANITIZE cannot be combined")
    endif()
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# g++ gives some inline and template statics unique-symbol binding, and a shared library with
# such symbols is never unloaded. clang emits no such symbols and has no flag for them.
set(VEX_NO_UNIQUE_SYMBOLS "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
    set(VEX_NO_UNIQUE_SYMBOLS -fno-gnu-unique)
endif()

# The libFuzzer targets need clang.
if(VEX_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VEX_FUZZ needs clang (libFuzzer): configure with CMAKE_CXX_COMPILER=clang++")
endif()
if(VEX_FUZZ AND WIN32)
    message(FATAL_ERROR "VEX_FUZZ is for native builds only")
endif()
