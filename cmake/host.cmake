# Native build of the installer's sources against the stand-in of the Win32
# calls, with the unit tests.
enable_testing()
find_package(GTest REQUIRED)

add_library(standin STATIC tests/standin/standin.cpp)
target_include_directories(standin PUBLIC tests/standin/include tests/standin tests)
target_compile_options(standin PRIVATE ${WARNINGS})
# The stand-in's file system lives here, never outside the build folder.
target_compile_definitions(standin PRIVATE STANDIN_FOLDER="${CMAKE_BINARY_DIR}/standin")

add_library(installer STATIC ${INSTALLER_SOURCES})
target_include_directories(installer PUBLIC include src/text)
target_link_libraries(installer PUBLIC standin)
target_compile_options(installer PRIVATE ${WARNINGS} -fno-exceptions -fno-rtti)

add_executable(unit_tests
    tests/unit/fixture.cpp
    tests/unit/text_test.cpp
    tests/unit/version_test.cpp
    tests/unit/log_test.cpp
    tests/unit/sequence_test.cpp
    tests/unit/files_test.cpp
    tests/unit/registration_test.cpp
    tests/unit/settings_test.cpp
    tests/unit/default_printer_test.cpp
    tests/unit/libraries_test.cpp
    tests/unit/launcher_test.cpp
    tests/unit/sha256_test.cpp
    tests/machine/sha256.cpp
)
target_link_libraries(unit_tests PRIVATE installer standin GTest::gtest GTest::gtest_main)
target_compile_options(unit_tests PRIVATE ${WARNINGS})
include(GoogleTest)
gtest_discover_tests(unit_tests PROPERTIES LABELS unit)
