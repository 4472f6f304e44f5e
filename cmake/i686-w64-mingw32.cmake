# 32-bit Windows with Debian's MinGW-w64 (posix threads, as Qt for win32 is
# built by scripts/qt-win32) and a Qt for that target in CMAKE_PREFIX_PATH
# (default /opt/dq-qt5-win32). Programs and tests run here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
if(NOT CMAKE_PREFIX_PATH)
  set(CMAKE_PREFIX_PATH /opt/dq-qt5-win32)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${CMAKE_PREFIX_PATH})
# Qt's tools (moc, uic, rcc) in the prefix run here; libraries and headers are the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
