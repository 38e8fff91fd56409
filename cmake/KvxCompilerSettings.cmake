# Compiler settings for every target of the project: GCC and clang alike, and
# MSVC for those who build on Windows with Qt's own installer.
#
# The warnings are the ones well-kept Qt projects build with; KVX_WERROR turns
# them into errors (./test.sh does). It is off by default so that a newer
# compiler with new warnings does not stop a user's build.
option(KVX_WERROR "Treat compiler warnings as errors" OFF)

if(MSVC)
    # The MSVC recipe of the README: the same intent in MSVC's terms.
    add_compile_options(/W4 /permissive- /Zc:__cplusplus)
    if(KVX_WERROR)
        add_compile_options(/WX)
    endif()
else()
    add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wsuggest-override -Werror=return-type)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        # Qt 5's logging and test macros (qCDebug(category), QSKIP(text)) call
        # variadic macros with no variadic argument, a GNU extension clang's
        # -Wpedantic reports at every use.
        add_compile_options(-Wno-gnu-zero-variadic-macro-arguments)
    endif()
    if(KVX_WERROR)
        add_compile_options(-Werror)
    endif()
endif()

# No API that Qt 5.15 deprecates (it is gone in Qt 6), no foreach, and no
# silently narrowing argument conversions in connect().
add_compile_definitions(
    QT_DEPRECATED_WARNINGS
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00
    QT_NO_FOREACH
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
