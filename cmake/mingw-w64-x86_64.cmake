# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix-threads compilers, so
# that std::thread and std::mutex work).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Libraries come from the cross prefix (build-windows/deps/prefix) and the mingw-w64 sysroot,
# never from the host; programs (generators, tools) from the host.
get_filename_component(DEMO_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps/prefix" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${DEMO_WINDOWS_DEPS} /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Run test binaries through Wine when CMake or CTest needs to execute one.
# (Debian's wine64 package has no wine64 on PATH; `wine` starts 64-bit programs.)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
