# The real ScrivoxSetup.exe: PE32 GUI program for Windows NT 4.0 and later.
add_executable(ScrivoxSetup WIN32 ${INSTALLER_SOURCES})
target_include_directories(ScrivoxSetup PRIVATE include)
# Only the NT 4.0 API is visible to the installer's sources.
target_compile_definitions(ScrivoxSetup PRIVATE _WIN32_WINNT=0x0400 WINVER=0x0400)
target_compile_options(ScrivoxSetup PRIVATE ${WARNINGS}
    -Os -march=i686 -mno-sse -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
target_link_options(ScrivoxSetup PRIVATE -s -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
target_link_libraries(ScrivoxSetup PRIVATE winspool advapi32 user32 kernel32)
