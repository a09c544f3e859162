# The same sources built as a 64-bit program: a compile check only; nothing ships or runs it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVO_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
