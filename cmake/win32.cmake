# The real ScrivoxSetup.exe: PE32 GUI program for Windows NT 4.0 and later.
# It links no C runtime and imports only from KERNEL32: USER32, ADVAPI32 and
# the spooler it loads by full path and binds at run time. Its entry point is
# its own.
enable_language(RC)
# Each target names the import libraries it needs, and nothing else is linked.
set(CMAKE_CXX_STANDARD_LIBRARIES "")

# The program's file name, its description (the boxes' caption) and the
# package's files, read from the one place they are kept, the program's own
# header: PRIVATE_COPY_NAME, INSTALLER_CAPTION, and DriverFileSet, each file
# by its role's macro, in copy order.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/include/scrivox.h)
file(READ ${CMAKE_SOURCE_DIR}/include/scrivox.h SCRIVOX_HEADER)
function(header_text macro variable)
    string(REGEX MATCH "#define ${macro} \"([^\"]*)\"" found "${SCRIVOX_HEADER}")
    if(NOT found)
        message(FATAL_ERROR "include/scrivox.h: no #define ${macro} \"...\"")
    endif()
    set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
header_text(PRIVATE_COPY_NAME PROGRAM_FILE_NAME)
header_text(INSTALLER_CAPTION PROGRAM_DESCRIPTION)
get_filename_component(PROGRAM_NAME ${PROGRAM_FILE_NAME} NAME_WLE)
string(REGEX MATCH "DriverFileSet\\[[^]]*\\] = {([^}]*)}" found "${SCRIVOX_HEADER}")
string(REGEX MATCHALL "[A-Z_]+_FILE_NAME" PACKAGE_ROLES "${CMAKE_MATCH_1}")
set(PACKAGE_FILES "")
foreach(role IN LISTS PACKAGE_ROLES)
    header_text(${role} file)
    list(APPEND PACKAGE_FILES ${file})
endforeach()
# A path as a resource script quotes it: windres reads each backslash and
# each quote doubled as escapes.
function(rc_quoted path variable)
    string(REPLACE "\\" "\\\\" quoted "${path}")
    string(REPLACE "\"" "\"\"" quoted "${quoted}")
    set(${variable} "\"${quoted}\"" PARENT_SCOPE)
endfunction()
# The version resource, and the manifest beside it in the same script.
configure_file(src/sequence/program.manifest.in ${CMAKE_BINARY_DIR}/program.manifest @ONLY)
rc_quoted("${CMAKE_BINARY_DIR}/program.manifest" PROGRAM_MANIFEST)
configure_file(src/sequence/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

# The package a program can carry: the folder SCRIVOX_PACKAGE names (the
# sample package unless told otherwise), its four files put in as RCDATA
# resources named after them, stored as they are, and as RCDATA number 1 the
# CRC-32 of each, which the program checks before it writes a file, and its
# time, which the program gives the file it writes. The names stand unquoted,
# for windres joins a quoted name to the string before it.
set(SCRIVOX_PACKAGE ${CMAKE_SOURCE_DIR}/sample-package CACHE PATH
    "the package folder ${PROGRAM_FILE_NAME} is built to carry (carrying/${PROGRAM_FILE_NAME})")
set(PACKAGE_RC "LANGUAGE 0, 0\n")
set(PACKAGE_PATHS "")
set(PACKAGE_RECORD ${CMAKE_BINARY_DIR}/carried-files.bin)
foreach(file IN LISTS PACKAGE_FILES)
    set(path ${SCRIVOX_PACKAGE}/${file})
    list(APPEND PACKAGE_PATHS ${path})
    rc_quoted("${path}" quoted)
    # Each file's digest and time too, so that the script, and with it what
    # is built from it, changes with them: a package staged anew may bring
    # files older than what was built before.
    if(EXISTS ${path})
        file(SHA256 ${path} digest)
        file(TIMESTAMP ${path} time "%s" UTC)
        string(APPEND PACKAGE_RC "// ${file}: SHA-256 ${digest}, time ${time}\n")
    endif()
    string(APPEND PACKAGE_RC "${file} RCDATA ${quoted}\n")
endforeach()
rc_quoted("${PACKAGE_RECORD}" quoted)
string(APPEND PACKAGE_RC "1 RCDATA ${quoted}\n")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${PACKAGE_RECORD}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/carried-files.py ${PACKAGE_RECORD} ${PACKAGE_PATHS}
    DEPENDS ${PACKAGE_PATHS} ${CMAKE_SOURCE_DIR}/cmake/carried-files.py ${CMAKE_BINARY_DIR}/package.rc
    COMMENT "The package's files' CRC-32s and times")
# Written anew only when it changes, so that a build is redone only then.
file(WRITE ${CMAKE_BINARY_DIR}/package.rc.new "${PACKAGE_RC}")
configure_file(${CMAKE_BINARY_DIR}/package.rc.new ${CMAKE_BINARY_DIR}/package.rc COPYONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/package.rc PROPERTIES
    OBJECT_DEPENDS "${PACKAGE_PATHS};${PACKAGE_RECORD}")

# ScrivoxSetup.exe, which installs the files beside it, and the same program
# carrying the package (carrying/ScrivoxSetup.exe), built alike.
function(add_installer target)
    add_executable(${target} WIN32 ${INSTALLER_SOURCES} src/platform/startup.cpp
        ${CMAKE_BINARY_DIR}/version.rc ${ARGN})
    target_include_directories(${target} PRIVATE include src/text)
    # Only the NT 4.0 API is visible to the installer's sources. USER32's and
    # ADVAPI32's functions are declared as the program's own (_USER32_,
    # _ADVAPI32_): it defines those it calls, and the link fails on any other. With no C runtime
    # linked there is no memset, memcpy or strlen: GCC is kept from turning the
    # installer's own loops into calls to them (-fno-tree-loop-distribute-patterns),
    # and should it ever emit one for a large copy or zero-fill, the link fails
    # and says so.
    target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0400 WINVER=0x0400 _USER32_ _ADVAPI32_)
    #
    # Arguments are pushed, not stored (half the bytes of a call), which GCC does
    # only without stack probes: no frame may need one, that is reach past the
    # guard page (4 KiB), and the build fails on any that would. Windows keeps
    # the stack aligned to 4 bytes only and nothing here needs more: the entry
    # point realigns it once. Arrays are aligned as the ABI asks, not to 32
    # bytes.
    #
    # The program is optimised as a whole when linked (-flto): GCC then inlines
    # across the sources what is called once, a sixth of the code. So the code
    # generation and frame options are the link's too, where that code is made;
    # the objects keep their own code as well (fat), for the release check that
    # none holds a static constructor.
    set(INSTALLER_CODE_OPTIONS
        -Os -march=i686 -mno-sse -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
        -fno-threadsafe-statics -fno-tree-loop-distribute-patterns -fno-ident
        -mno-stack-arg-probe -mno-accumulate-outgoing-args -mpreferred-stack-boundary=2
        -malign-data=abi -Wframe-larger-than=4000 -flto -ffat-lto-objects)
    target_compile_options(${target} PRIVATE ${WARNINGS} ${INSTALLER_CODE_OPTIONS})
    # The image carries no relocations: an executable is always loaded at its own base on
    # the systems it installs on, none of which moves images (ASLR came with
    # Vista), and they would cost a file sector.
    target_link_options(${target} PRIVATE ${WARNINGS} ${INSTALLER_CODE_OPTIONS}
        -s -nostdlib -Wl,--entry,_WinMainCRTStartup
        -Wl,--disable-dynamicbase,--disable-reloc-section
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
    target_link_libraries(${target} PRIVATE kernel32)
    # The header's time stamp comes from SOURCE_DATE_EPOCH, read when linking.
    set_target_properties(${target} PROPERTIES RULE_LAUNCH_LINK ${CMAKE_SOURCE_DIR}/cmake/link-stamp.sh)
endfunction()
add_installer(ScrivoxSetup)
add_installer(ScrivoxSetupCarrying ${CMAKE_BINARY_DIR}/package.rc ${PACKAGE_RECORD})
set_target_properties(ScrivoxSetup PROPERTIES OUTPUT_NAME ${PROGRAM_NAME})
set_target_properties(ScrivoxSetupCarrying PROPERTIES OUTPUT_NAME ${PROGRAM_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/carrying)

# The start-up benchmark's yardstick, built like the installer.
add_executable(bench_minimal WIN32 bench/minimal.cpp)
target_include_directories(bench_minimal PRIVATE include) # the caption
target_compile_options(bench_minimal PRIVATE ${WARNINGS} -Os -march=i686 -mno-sse -fno-exceptions
    -fno-rtti -fno-asynchronous-unwind-tables)
target_link_options(bench_minimal PRIVATE -s -nostdlib -Wl,--entry,_MinimalStart)
target_link_libraries(bench_minimal PRIVATE kernel32)

# A DLL planted beside the installer by the end-to-end scenarios under the
# names system code loads by name: if it is ever loaded, it ends the
# process. Kept in a folder of its own so that nothing else here is ever
# started beside it.
add_library(planted_dll SHARED tests/e2e/planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
target_compile_options(planted_dll PRIVATE ${WARNINGS} -Os)
target_link_options(planted_dll PRIVATE -s -static-libgcc -Wl,--kill-at)
target_link_libraries(planted_dll PRIVATE kernel32)

# The end-to-end test driver, a Win32 program run under Wine beside the installer.
# It shares with the check kit what both do on a Windows machine (tests/machine).
set(MACHINE_SOURCES tests/machine/run.cpp tests/machine/state.cpp tests/machine/checks.cpp
    tests/machine/words.cpp tests/machine/sha256.cpp)
add_executable(e2e_driver tests/e2e/main.cpp tests/e2e/runs.cpp tests/e2e/harness.cpp tests/e2e/checks.cpp
    tests/e2e/scenarios.cpp tests/e2e/loads.cpp tests/e2e/kit.cpp tests/e2e/report.cpp
    tests/e2e/firstbox.cpp ${MACHINE_SOURCES})
target_include_directories(e2e_driver PRIVATE tests)
target_compile_options(e2e_driver PRIVATE ${WARNINGS} -O1)
target_link_options(e2e_driver PRIVATE -static-libgcc -static-libstdc++)
target_link_libraries(e2e_driver PRIVATE winspool advapi32 user32 gdi32 version ntdll kernel32)
# The version the installer must carry, from the one place it is kept, and
# its four numbers.
target_compile_definitions(e2e_driver PRIVATE PRODUCT_VERSION="${PROJECT_VERSION}"
    FOUR_NUMBER_VERSION="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${PROJECT_VERSION_TWEAK}")

# The check kit's program, ScrivoxCheck.exe (tests/kit), for the vendor's
# real NT 4.0, 2000, XP and Server 2003: it carries the planted DLL (RCDATA
# PLANTED) and imports only what NT 4.0 SP6a's own DLLs export
# (tests/release/kit-imports.txt): the C++ runtime linked in, the C runtime
# the system's msvcrt.dll, and only the NT 4.0 API visible to its sources.
rc_quoted("${CMAKE_BINARY_DIR}/planted/planted.dll" PLANTED_PATH)
file(WRITE ${CMAKE_BINARY_DIR}/kit.rc.new "PLANTED RCDATA ${PLANTED_PATH}\n")
configure_file(${CMAKE_BINARY_DIR}/kit.rc.new ${CMAKE_BINARY_DIR}/kit.rc COPYONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/kit.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/planted/planted.dll)
file(READ ${CMAKE_SOURCE_DIR}/tests/kit/kit_names.h KIT_NAMES)
string(REGEX MATCH "KitProgramName\\[\\] = \"([^\".]*)\\.exe\"" found "${KIT_NAMES}")
if(NOT found)
    message(FATAL_ERROR "tests/kit/kit_names.h: no KitProgramName[] = \"NAME.exe\"")
endif()
set(KIT_PROGRAM ${CMAKE_MATCH_1})
add_executable(ScrivoxCheck WIN32 tests/kit/main.cpp tests/kit/system.cpp tests/kit/checks.cpp
    tests/kit/signature.cpp ${MACHINE_SOURCES} ${CMAKE_BINARY_DIR}/kit.rc)
add_dependencies(ScrivoxCheck planted_dll)
target_include_directories(ScrivoxCheck PRIVATE tests)
target_compile_definitions(ScrivoxCheck PRIVATE _WIN32_WINNT=0x0400 WINVER=0x0400)
target_compile_options(ScrivoxCheck PRIVATE ${WARNINGS} -Os -municode)
target_link_options(ScrivoxCheck PRIVATE -municode -s -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
target_link_libraries(ScrivoxCheck PRIVATE winspool advapi32 user32 gdi32 kernel32)
set_target_properties(ScrivoxCheck PROPERTIES OUTPUT_NAME ${KIT_PROGRAM}
    RULE_LAUNCH_LINK ${CMAKE_SOURCE_DIR}/cmake/link-stamp.sh)

enable_testing()

# The executable's header and imports: it must load on Windows NT 4.0, and
# from a folder holding DLLs of any name.
add_test(NAME release_imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_imports.sh $<TARGET_FILE:ScrivoxSetup>
            ${CMAKE_SOURCE_DIR}/tests/release/nt4-imports.txt
            ${CMAKE_BINARY_DIR}/CMakeFiles/ScrivoxSetup.dir)
set_tests_properties(release_imports PROPERTIES LABELS release)
add_test(NAME release_imports_carrying
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_imports.sh $<TARGET_FILE:ScrivoxSetupCarrying>
            ${CMAKE_SOURCE_DIR}/tests/release/nt4-imports.txt)
set_tests_properties(release_imports_carrying PROPERTIES LABELS release)
# The check kit's program starts on Windows NT 4.0 SP6a: each import on its
# list, each entry's source said.
add_test(NAME release_kit_imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_kit_imports.sh $<TARGET_FILE:ScrivoxCheck>
            ${CMAKE_SOURCE_DIR}/tests/release/kit-imports.txt)
set_tests_properties(release_kit_imports PROPERTIES LABELS release)
# The stripped program stays within its size limit: ours, not Windows', kept
# so that the program stays small and its start quick (a download, two
# process starts). It was 12,288 bytes until the launcher wrote its copy from
# its own image and the program embedded a manifest: the image's writer and
# the carried files' check took .text past 7,680 bytes, and the manifest
# .rsrc past 1,024, a file sector (512 bytes) each. Longer texts or names may
# need more: raise it here.
set(PROGRAM_SIZE_LIMIT 13312)
add_test(NAME release_size
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_size.sh $<TARGET_FILE:ScrivoxSetup> ${PROGRAM_SIZE_LIMIT})
set_tests_properties(release_size PROPERTIES LABELS release)
# A second build of the same sources in another folder gives the same bytes,
# and the time stamp follows SOURCE_DATE_EPOCH.
add_test(NAME release_reproducible
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_reproducible.sh $<TARGET_FILE:ScrivoxSetup>
            ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/reproduce ${CMAKE_TOOLCHAIN_FILE} ${CMAKE_BUILD_TYPE})
set_tests_properties(release_reproducible PROPERTIES LABELS release TIMEOUT 900)

# The base prefix kept for the emulated machine serves only the Wine and the
# harness it was made with.
add_test(NAME release_prefix_cache
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_prefix_cache.sh ${CMAKE_BINARY_DIR}/prefix-cache-test)
set_tests_properties(release_prefix_cache PROPERTIES LABELS release)

# The signed release archive (scripts/release): reproducible, complete,
# SHA-1 signed and time-stamped, refusing bad input; and scripts/run running
# what it ships. It leaves the release unpacked for the e2e scenario that
# installs from it.
set(RELEASE_TEST ${CMAKE_BINARY_DIR}/release-test)
add_test(NAME release_archive
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_release.sh ${CMAKE_SOURCE_DIR} ${RELEASE_TEST})
set_tests_properties(release_archive PROPERTIES LABELS release TIMEOUT 900
    FIXTURES_SETUP release_archive)

# Every row of docs/adapting.md's table renamed at once in a copy of the
# sources: it must build, pass its static checks and unit tests, and (where
# Wine runs on the host) four scenarios.
add_test(NAME release_rename
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_rename.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/rename-test)
set_tests_properties(release_rename PROPERTIES LABELS release TIMEOUT 900)

# End-to-end scenarios: the real ScrivoxSetup.exe under Wine.
set(E2E_STATE ${CMAKE_BINARY_DIR}/e2e)
# The scenarios, by the names the e2e driver's table gives them
# (tests/e2e/scenarios.cpp: each entry's name at the start of its line).
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/scenarios.cpp)
file(READ ${CMAKE_SOURCE_DIR}/tests/e2e/scenarios.cpp E2E_SOURCE)
string(REGEX MATCHALL "\n    {\"[a-z0-9-]+\"," E2E_ENTRIES "${E2E_SOURCE}")
set(E2E_SCENARIOS "")
foreach(entry IN LISTS E2E_ENTRIES)
    string(REGEX REPLACE "^\n    {\"([a-z0-9-]+)\",$" "\\1" scenario "${entry}")
    list(APPEND E2E_SCENARIOS ${scenario})
endforeach()
if(NOT E2E_SCENARIOS)
    message(FATAL_ERROR "tests/e2e/scenarios.cpp: no scenario found in the driver's table")
endif()
add_test(NAME e2e_setup COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh setup ${E2E_STATE})
add_test(NAME e2e_cleanup COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh cleanup ${E2E_STATE})
set_tests_properties(e2e_setup PROPERTIES FIXTURES_SETUP e2e LABELS e2e)
set_tests_properties(e2e_cleanup PROPERTIES FIXTURES_CLEANUP e2e LABELS e2e)
# The names read above and the driver's own list must be the same.
string(REPLACE ";" " " E2E_SCENARIO_WORDS "${E2E_SCENARIOS}")
add_test(NAME e2e_scenario_list
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh list ${E2E_STATE} ${CMAKE_BINARY_DIR} "${E2E_SCENARIO_WORDS}")
set_tests_properties(e2e_scenario_list PROPERTIES FIXTURES_REQUIRED e2e LABELS e2e)
foreach(scenario IN LISTS E2E_SCENARIOS)
    add_test(NAME e2e_${scenario}
        COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh scenario ${E2E_STATE} ${CMAKE_BINARY_DIR} ${scenario})
    set_tests_properties(e2e_${scenario} PROPERTIES FIXTURES_REQUIRED e2e LABELS e2e TIMEOUT 300)
endforeach()
# Those install from the unpacked signed release, and run its check kit.
set_tests_properties(e2e_signed-release PROPERTIES FIXTURES_REQUIRED "e2e;release_archive")
foreach(scenario IN LISTS E2E_SCENARIOS)
    if(scenario MATCHES "^kit-")
        set_tests_properties(e2e_${scenario} PROPERTIES FIXTURES_REQUIRED "e2e;release_archive")
    endif()
endforeach()
