# The Windows build of the core (KESTRAVA_WINDOWS_CORE, with cmake/mingw-w64.cmake): the modules
# that build with no library Debian lacks for mingw, and the unit tests of those modules, run
# through Wine by CTest. docs/windows.md lists what is left out and why.
if(NOT WIN32)
  message(FATAL_ERROR "KESTRAVA_WINDOWS_CORE builds for Windows: configure with -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake")
endif()

# Source folders under src/ and, for each, the folder of its unit tests under tests/unit/.
set(KESTRAVA_WINDOWS_MODULES platform platform/fake config)
set(KESTRAVA_WINDOWS_TEST_FOLDERS platform platform_fake config)

foreach(dir ${KESTRAVA_WINDOWS_MODULES})
  add_subdirectory(${PROJECT_SOURCE_DIR}/src/${dir} ${CMAKE_BINARY_DIR}/src/${dir})
endforeach()

if(NOT KESTRAVA_BUILD_TESTS)
  return()
endif()

# GoogleTest is not packaged for mingw: its sources (libgtest-dev, googletest) are built here with
# the same compiler and flags as the tests.
set(KESTRAVA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest's source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${KESTRAVA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# The Wine prefix the tests run in (scripts/test --stage windows makes it, 64-bit, on first use).
set(KESTRAVA_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "the Wine prefix of the tests")

enable_testing()
foreach(mod ${KESTRAVA_WINDOWS_TEST_FOLDERS})
  file(GLOB _tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/${mod}/*_test.cpp)
  foreach(src ${_tests})
    get_filename_component(stem ${src} NAME_WE)
    set(exe unit_${mod}_${stem})
    add_executable(${exe} ${src})
    target_include_directories(${exe} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${exe} PRIVATE kestrava_${mod} kestrava_platform_fake GTest::gtest GTest::gmock
      GTest::gtest_main)
    set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # One CTest entry per program (listing each program's cases would start Wine at every build);
    # CMAKE_CROSSCOMPILING_EMULATOR puts Wine in front of it.
    add_test(NAME ${exe} COMMAND ${exe} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set_tests_properties(${exe} PROPERTIES LABELS "unit;windows" ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${KESTRAVA_WINEPREFIX}")
  endforeach()
endforeach()
target_compile_definitions(unit_config_profile_test PRIVATE
  KESTRAVA_TEST_FIXTURES="${PROJECT_SOURCE_DIR}/tests/unit/config/fixtures")
