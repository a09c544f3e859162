# Test twin of the product build: the same sources as a 64-bit program, for machines whose
# kernel cannot run 32-bit code (and so cannot run 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVO_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
