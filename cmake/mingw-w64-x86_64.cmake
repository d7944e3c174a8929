# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix thread model: std::thread and
# std::mutex come from winpthreads). Third-party libraries are found under VENTURO_WINDOWS_DEPS,
# which scripts/windows-deps.sh fills.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT VENTURO_WINDOWS_DEPS AND DEFINED ENV{VENTURO_WINDOWS_DEPS})
    set(VENTURO_WINDOWS_DEPS "$ENV{VENTURO_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VENTURO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Qt for Windows runs its build tools (moc, rcc, uic) from Debian's own Qt of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
# pkg-config must look only at the Windows libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${VENTURO_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")
