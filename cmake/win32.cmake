# The real ScrivoxSetup.exe: PE32 GUI program for Windows NT 4.0 and later.
enable_language(RC)
configure_file(src/sequence/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
add_executable(ScrivoxSetup WIN32 ${INSTALLER_SOURCES} ${CMAKE_BINARY_DIR}/version.rc)
target_include_directories(ScrivoxSetup PRIVATE include src/text)
# Only the NT 4.0 API is visible to the installer's sources.
target_compile_definitions(ScrivoxSetup PRIVATE _WIN32_WINNT=0x0400 WINVER=0x0400)
target_compile_options(ScrivoxSetup PRIVATE ${WARNINGS}
    -Os -march=i686 -mno-sse -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
target_link_options(ScrivoxSetup PRIVATE -s -static-libgcc -static-libstdc++
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
target_link_libraries(ScrivoxSetup PRIVATE winspool advapi32 user32 kernel32)
# The header's time stamp comes from SOURCE_DATE_EPOCH, read when linking.
set_target_properties(ScrivoxSetup PROPERTIES RULE_LAUNCH_LINK ${CMAKE_SOURCE_DIR}/cmake/link-stamp.sh)

# The start-up benchmark's yardstick, built like the installer.
add_executable(bench_minimal WIN32 bench/minimal.cpp)
target_compile_options(bench_minimal PRIVATE -Os -march=i686 -mno-sse -fno-exceptions -fno-rtti)
target_link_options(bench_minimal PRIVATE -s -static-libgcc -static-libstdc++)

# The end-to-end test driver, a Win32 program run under Wine beside the installer.
add_executable(e2e_driver tests/e2e/harness.cpp tests/e2e/scenarios.cpp)
target_compile_options(e2e_driver PRIVATE ${WARNINGS} -O1)
target_link_options(e2e_driver PRIVATE -static-libgcc -static-libstdc++)
target_link_libraries(e2e_driver PRIVATE winspool advapi32 user32 gdi32 version kernel32)
# The version the installer must carry, from the one place it is kept.
target_compile_definitions(e2e_driver PRIVATE PRODUCT_VERSION="${PROJECT_VERSION}")

enable_testing()

# The executable's header and imports: it must load on Windows NT 4.0.
add_test(NAME release_imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_imports.sh $<TARGET_FILE:ScrivoxSetup>
            ${CMAKE_SOURCE_DIR}/tests/release/nt4-imports.txt)
set_tests_properties(release_imports PROPERTIES LABELS release)
# The stripped executable stays within its size budget of 24 KiB.
add_test(NAME release_size
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_size.sh $<TARGET_FILE:ScrivoxSetup> 24576)
set_tests_properties(release_size PROPERTIES LABELS release)
# A second build of the same sources in another folder gives the same bytes,
# and the time stamp follows SOURCE_DATE_EPOCH.
add_test(NAME release_reproducible
    COMMAND ${CMAKE_SOURCE_DIR}/tests/release/check_reproducible.sh $<TARGET_FILE:ScrivoxSetup>
            ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/reproduce ${CMAKE_TOOLCHAIN_FILE} ${CMAKE_BUILD_TYPE})
set_tests_properties(release_reproducible PROPERTIES LABELS release TIMEOUT 900)

# End-to-end scenarios: the real ScrivoxSetup.exe under Wine.
set(E2E_STATE ${CMAKE_BINARY_DIR}/e2e)
set(E2E_SCENARIOS
    first-nt40-yes first-nt40-no first-win2k-yes first-win2k-no
    first-winxp-yes first-winxp-no first-win2003-yes first-win2003-no
    refused-nt351 refused-win95 refused-win98 refused-winme refused-vista refused-win7 refused-win10
    cancel files-missing third-missing read-only-installed second-run
    temp-missing windir-removed ini-kept version-info)
add_test(NAME e2e_setup COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh setup ${E2E_STATE})
add_test(NAME e2e_cleanup COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh cleanup ${E2E_STATE})
set_tests_properties(e2e_setup PROPERTIES FIXTURES_SETUP e2e LABELS e2e)
set_tests_properties(e2e_cleanup PROPERTIES FIXTURES_CLEANUP e2e LABELS e2e)
# The list above and the driver's own list must name the same scenarios.
string(REPLACE ";" " " E2E_SCENARIO_WORDS "${E2E_SCENARIOS}")
add_test(NAME e2e_scenario_list
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh list ${E2E_STATE} ${CMAKE_BINARY_DIR} "${E2E_SCENARIO_WORDS}")
set_tests_properties(e2e_scenario_list PROPERTIES FIXTURES_REQUIRED e2e LABELS e2e)
foreach(scenario IN LISTS E2E_SCENARIOS)
    add_test(NAME e2e_${scenario}
        COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine.sh scenario ${E2E_STATE} ${CMAKE_BINARY_DIR} ${scenario})
    set_tests_properties(e2e_${scenario} PROPERTIES FIXTURES_REQUIRED e2e LABELS e2e TIMEOUT 300)
endforeach()
