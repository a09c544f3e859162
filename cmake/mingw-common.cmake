# Shared part of the MinGW-w64 cross toolchains; KORVO_TRIPLE is set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${KORVO_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVO_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KORVO_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# CTest runs the Windows test programs through Wine; the wrapper picks the prefix and loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
