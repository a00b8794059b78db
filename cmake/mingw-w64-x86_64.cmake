# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# which std::thread and std::mutex need). Every binary links the GCC runtime,
# libstdc++ and winpthread statically, so the DLLs and programs need nothing
# beside them but the system's own DLLs. Programs run under wine64 through
# tests/windows/wine-run.sh, with a wine prefix of their own in the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QOR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QOR_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${QOR_MINGW_TRIPLET}-dlltool)

# Headers and libraries come only from the mingw sysroot; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nlohmann-json is header-only and the same for every target, but its host
# package would put all of /usr/include on the cross compiler's path; this
# package description exposes only the nlohmann headers.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross/nlohmann_json CACHE PATH
    "nlohmann-json for the cross build")
# CLI11 likewise: header-only, exposed without the rest of /usr/include.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross/CLI11 CACHE PATH "CLI11 for the cross build")
# pkg-config looks only at packages built for the target, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CMAKE_FIND_ROOT_PATH})

set(QOR_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QOR_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QOR_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QOR_STATIC_RUNTIME}")
# Release DLLs ship without the symbol tables of the static runtime, which
# would otherwise more than triple their size.
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
