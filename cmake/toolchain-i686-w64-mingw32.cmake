# snmp.dll for 32-bit Windows, the host's width.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VANTOR_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
