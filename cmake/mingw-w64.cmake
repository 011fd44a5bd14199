# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (scripts/setup --windows installs it):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKESTRAVA_WINDOWS_CORE=ON
# The -posix compilers: std::thread and std::mutex need the winpthreads threading model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_kestrava_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_kestrava_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kestrava_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_kestrava_mingw}-windres)

# Only the mingw tree is searched for headers and libraries: the build machine's Linux ones must
# never end up in a Windows program.
set(CMAKE_FIND_ROOT_PATH /usr/${_kestrava_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise quietly hand over the Linux tesseract, turbojpeg and X11: look only
# where mingw .pc files live (Debian ships none today, so every pkg-config lookup fails plainly).
set(ENV{PKG_CONFIG_LIBDIR} /usr/${_kestrava_mingw}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# The programs carry the compiler's run-time libraries (libgcc, libstdc++, winpthreads), so they
# run on a PC, or under Wine, with no DLLs from the compiler beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# try_run, and ctest in the cross build, run Windows programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
