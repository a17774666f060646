# Makes CMake take its Apple branches (and ours) on Linux, for scripts/darwin-configure-check.sh:
# a configure and generate as on a Mac with Homebrew. Nothing is built with it. What needs
# Apple's SDK is answered by stubs: `sw_vers` (bin/), the OpenGL framework's paths, and
# pkg-config, which knows only libplist (pkgconfig/), as Homebrew's does. Qt, Google Benchmark
# and Threads are the Linux ones, found through this machine's multiarch folder.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 23.0)
set(CMAKE_SYSTEM_PROCESSOR arm64)
if(NOT CMAKE_CXX_COMPILER)
    set(CMAKE_CXX_COMPILER clang++)
endif()
# Linking needs Apple's linker: the compiler checks stop at compiling.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(lanthorn_darwin_stubs ${CMAKE_CURRENT_LIST_DIR})
if(NOT "$ENV{PATH}" MATCHES "^${lanthorn_darwin_stubs}/bin:")
    set(ENV{PATH} "${lanthorn_darwin_stubs}/bin:$ENV{PATH}")
endif()
set(ENV{PKG_CONFIG_LIBDIR} ${lanthorn_darwin_stubs}/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

if(NOT CMAKE_LIBRARY_ARCHITECTURE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-multiarch
                    OUTPUT_VARIABLE CMAKE_LIBRARY_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(OPENGL_INCLUDE_DIR /System/Library/Frameworks/OpenGL.framework CACHE PATH "")
set(OPENGL_gl_LIBRARY /System/Library/Frameworks/OpenGL.framework CACHE FILEPATH "")
set(OPENGL_glu_LIBRARY /System/Library/Frameworks/OpenGL.framework CACHE FILEPATH "")
set(CMAKE_INSTALL_NAME_TOOL /usr/bin/install_name_tool CACHE FILEPATH "")
