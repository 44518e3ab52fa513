# The Windows build: the program, its resources, the tests run under Wine and
# the helper programs the whole-program tests drive.

# The icon is drawn by a script so nothing binary lives in the tree.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/resources/tw_setup.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/resources
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py ${CMAKE_BINARY_DIR}/resources/tw_setup.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py
  COMMENT "Drawing the program icon")
# The manifest and the version resource take the one version from VERSION.
string(REPLACE "." "," TW_VERSION_COMMAS "${TW_VERSION}")
foreach(part ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  if(part GREATER 65535)
    message(FATAL_ERROR "VERSION: each number must fit 16 bits, found ${part}")
  endif()
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/resources/tw_setup.manifest.in ${CMAKE_BINARY_DIR}/resources/tw_setup.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/tw_version.h.in ${CMAKE_BINARY_DIR}/resources/tw_version.h @ONLY)

file(GLOB TW_GUIDE_PICTURES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/guide/*.jpg)
set(TW_GUIDE_RESOURCES ${CMAKE_SOURCE_DIR}/resources/guide_pictures.rc ${TW_GUIDE_PICTURES})
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/tw_setup.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/resources/tw_setup.ico;${CMAKE_BINARY_DIR}/resources/tw_setup.manifest;${CMAKE_BINARY_DIR}/resources/tw_version.h;${TW_GUIDE_RESOURCES}")
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/guide_host.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/resources/tw_setup.manifest;${TW_GUIDE_RESOURCES}")

add_executable(tw_setup WIN32 ${CMAKE_SOURCE_DIR}/src/startup/main_win.cpp ${CMAKE_SOURCE_DIR}/resources/tw_setup.rc)
target_include_directories(tw_setup PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
target_link_libraries(tw_setup PRIVATE tw_core)
target_compile_options(tw_setup PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TW_WARNINGS}>)
target_link_options(tw_setup PRIVATE -mwindows -municode)
if(TW_RELEASE)
  # The shipped exe carries no debug information; tw_setup.debug keeps it,
  # named with its checksum in the exe's .gnu_debuglink, to resolve crash
  # addresses from the field. Binutils stamps the time into every PE file it
  # rewrites unless SOURCE_DATE_EPOCH says otherwise.
  set(no_time ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
  add_custom_command(TARGET tw_setup POST_BUILD
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:tw_setup> $<TARGET_FILE_DIR:tw_setup>/tw_setup.debug
    COMMAND ${no_time} ${CMAKE_STRIP} --strip-all $<TARGET_FILE:tw_setup>
    COMMAND ${no_time} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_DIR:tw_setup>/tw_setup.debug $<TARGET_FILE:tw_setup>
    COMMENT "Splitting the debug information of tw_setup.exe off into tw_setup.debug")
endif()

# The private Wine prefix every Windows test runs in, made once per build folder.
set(TW_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(TW_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/tools/wine_run.sh)
add_custom_command(
  OUTPUT ${TW_WINE_ROOT}/prefix.stamp
  COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/wine_prefix.sh ${TW_WINE_ROOT}
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/wine_prefix.sh
  COMMENT "Preparing the Wine prefix for tests"
  USES_TERMINAL)
add_custom_target(wine_prefix ALL DEPENDS ${TW_WINE_ROOT}/prefix.stamp)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TW_WINE_RUN} ${TW_WINE_ROOT})

set(TW_WIN_TEST_SOURCES ${TW_TEST_SOURCES})
list(FILTER TW_WIN_TEST_SOURCES INCLUDE REGEX "_win_test\\.cpp$")
set(TW_DISPLAY_TEST_SOURCES ${TW_WIN_TEST_SOURCES})
list(FILTER TW_DISPLAY_TEST_SOURCES INCLUDE REGEX "_display_win_test\\.cpp$")
list(FILTER TW_WIN_TEST_SOURCES EXCLUDE REGEX "_display_win_test\\.cpp$")
# CRC-32 and SHA-256 pick their code by processor, and the 32-bit build
# compiles that code differently: their portable tests run here too (SHA-256's
# also against the system's provider).
list(APPEND TW_WIN_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/package/crc32_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/catalog/sha256_test.cpp)
add_executable(tw_tests_win ${TW_WIN_TEST_SOURCES})
target_link_libraries(tw_tests_win PRIVATE tw_core GTest::gtest_main)
target_include_directories(tw_tests_win PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(tw_tests_win PRIVATE ${TW_WARNINGS})
add_dependencies(tw_tests_win wine_prefix)

# The loopback vendor server: the test build's origins all point at it.
string(REGEX MATCH ":([0-9]+)$" _port_match "${TW_VENDOR_ORIGIN}")
set(TW_TEST_SERVER_PORT ${CMAKE_MATCH_1})
set(TW_TEST_SERVER_ROOT ${CMAKE_BINARY_DIR}/vendor)
set(TW_VENDOR_SERVER ${CMAKE_SOURCE_DIR}/tests/tools/vendor_server.py)
target_compile_definitions(tw_tests_win PRIVATE TW_TEST_SERVER_ROOT="${TW_TEST_SERVER_ROOT}"
  TW_INFLATE_SEEDS="${CMAKE_SOURCE_DIR}/fuzz/corpus/inflate_differential")
if(TW_TEST_SERVER_PORT)
  add_test(NAME vendor_server.start COMMAND Python3::Interpreter ${TW_VENDOR_SERVER} --root ${TW_TEST_SERVER_ROOT}
    --port ${TW_TEST_SERVER_PORT} --pid-file ${CMAKE_BINARY_DIR}/vendor_server.pid --background --fresh)
  set_tests_properties(vendor_server.start PROPERTIES FIXTURES_SETUP vendor)
  add_test(NAME vendor_server.stop COMMAND Python3::Interpreter ${TW_VENDOR_SERVER} --stop
    --pid-file ${CMAKE_BINARY_DIR}/vendor_server.pid)
  set_tests_properties(vendor_server.stop PROPERTIES FIXTURES_CLEANUP vendor)
endif()

gtest_discover_tests(tw_tests_win DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 120 FIXTURES_REQUIRED vendor)

# Stands in for 7z.exe, Rar.exe and installers in tests (a console program).
add_executable(stand_in ${CMAKE_SOURCE_DIR}/tests/tools/stand_in_win.cpp)
target_compile_definitions(tw_tests_win PRIVATE TW_STAND_IN_EXE="$<TARGET_FILE:stand_in>")
add_dependencies(tw_tests_win stand_in)
# The guide's pictures are read from the built program itself.
set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/security/guide_pictures_win_test.cpp PROPERTIES
  COMPILE_DEFINITIONS TW_SETUP_EXE="$<TARGET_FILE:tw_setup>")
add_dependencies(tw_tests_win tw_setup)

# Tests that answer real message boxes (*_display_win_test.cpp): without a
# display a box returns at once and such a test would prove nothing. They run
# on a private Xvfb in a prefix of their own, one at a time, because Wine's
# desktop belongs to the display of the first program that needs it.
set(TW_WINE_DISPLAY_ROOT ${CMAKE_BINARY_DIR}/wine-display)
add_custom_command(
  OUTPUT ${TW_WINE_DISPLAY_ROOT}/prefix.stamp
  COMMAND ${CMAKE_SOURCE_DIR}/tests/tools/wine_prefix.sh ${TW_WINE_DISPLAY_ROOT}
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/wine_prefix.sh
  COMMENT "Preparing the Wine prefix for display tests"
  USES_TERMINAL)
add_custom_target(wine_display_prefix ALL DEPENDS ${TW_WINE_DISPLAY_ROOT}/prefix.stamp)
add_executable(tw_display_tests_win ${TW_DISPLAY_TEST_SOURCES})
target_link_libraries(tw_display_tests_win PRIVATE tw_core GTest::gtest_main)
target_include_directories(tw_display_tests_win PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(tw_display_tests_win PRIVATE ${TW_WARNINGS})
target_compile_definitions(tw_display_tests_win PRIVATE TW_STAND_IN_EXE="$<TARGET_FILE:stand_in>")
add_dependencies(tw_display_tests_win wine_display_prefix stand_in)
set_target_properties(tw_display_tests_win PROPERTIES CROSSCOMPILING_EMULATOR
  "${Python3_EXECUTABLE};${CMAKE_SOURCE_DIR}/tests/tools/wine_display_run.py;${TW_WINE_DISPLAY_ROOT};${TW_WINE_RUN}")
gtest_discover_tests(tw_display_tests_win DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 90
  PROPERTIES TIMEOUT 180 RESOURCE_LOCK wine_display)


# The shipped build, end to end: scripts/release signs with a throw-away
# certificate, the exe check is shown each fault it exists for, and a second
# build in another folder must give the same bytes. This folder's own
# tw_setup.exe (loopback origins) is one of the exes the check must refuse.
if(TW_RELEASE)
  add_test(NAME release.ship COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/release/release_test.py
    --work ${CMAKE_BINARY_DIR}/release-check --loopback-exe $<TARGET_FILE:tw_setup>)
  set_tests_properties(release.ship PROPERTIES TIMEOUT 1800 RUN_SERIAL TRUE)
endif()

# Runs catalog load and product operations without a window, for whole-flow tests.
add_executable(engine_driver ${CMAKE_SOURCE_DIR}/tests/tools/engine_driver_win.cpp)
target_link_libraries(engine_driver PRIVATE tw_core)
target_compile_options(engine_driver PRIVATE ${TW_WARNINGS})
target_link_options(engine_driver PRIVATE -municode)

# Opens the troubleshooting guide alone, next to tw_setup.exe.
add_executable(guide_host ${CMAKE_SOURCE_DIR}/tests/tools/guide_host_win.cpp ${CMAKE_SOURCE_DIR}/resources/guide_host.rc)
target_include_directories(guide_host PRIVATE ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR}/resources)
target_link_libraries(guide_host PRIVATE tw_core)
target_compile_options(guide_host PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TW_WARNINGS}>)
target_link_options(guide_host PRIVATE -mwindows -municode)

# The small real program the demo's products install (and their EXE installer).
add_executable(demo_app WIN32 ${CMAKE_SOURCE_DIR}/tests/tools/demo/demo_app_win.cpp)
target_compile_options(demo_app PRIVATE ${TW_WARNINGS})
target_link_options(demo_app PRIVATE -mwindows -municode)

add_executable(ui_driver ${CMAKE_SOURCE_DIR}/tests/tools/ui_driver_win.cpp)
target_compile_options(ui_driver PRIVATE ${TW_WARNINGS})
target_link_options(ui_driver PRIVATE -municode)

# Whole-program tests: the real tw_setup.exe under Wine on a private Xvfb.
file(GLOB TW_E2E_CASES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_e2e.py)
foreach(case_file ${TW_E2E_CASES})
  get_filename_component(case_name ${case_file} NAME_WE)
  add_test(NAME e2e.${case_name}
    COMMAND Python3::Interpreter ${case_file}
      --wine-root ${TW_WINE_ROOT} --wine-run ${TW_WINE_RUN}
      --setup $<TARGET_FILE:tw_setup> --driver $<TARGET_FILE:ui_driver>
      --engine-driver $<TARGET_FILE:engine_driver> --server-root ${TW_TEST_SERVER_ROOT} --origin ${TW_VENDOR_ORIGIN})
  set_tests_properties(e2e.${case_name} PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE FIXTURES_REQUIRED vendor)
endforeach()
