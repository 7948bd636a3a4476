# One line per test file:
#
#   orvandel_add_test(test_dynstr test_dynstr.cpp)        native and Win32
#   orvandel_add_win32_test(test_textwin test_textwin.cpp) Win32 only (Wine)
#
# Both link GoogleTest's main and register with ctest. The window-free tests
# (orvandel_add_test) link the test build of the core, orvandel_core_hooks,
# whose fault injection and counters they drive; the Win32-only tests link
# orvandel_core, the core as the DLL has it.
# Natively every GoogleTest case is its own ctest test; under Wine each
# executable is one ctest test, since every Wine process start costs a
# fraction of a second. Win32 tests run with DISPLAY set (scripts/test.sh
# starts an Xvfb of its own; scripts/wine-run starts one when none is set).

if(WIN32)
  # GoogleTest built by the same cross compiler; linked statically so the
  # executables need no MinGW DLLs beside them under Wine.
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(ORVANDEL_GTEST_MAIN gtest_main)
else()
  find_package(GTest QUIET)
  if(GTest_FOUND)
    set(ORVANDEL_GTEST_MAIN GTest::gtest_main)
  else()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(ORVANDEL_GTEST_MAIN gtest_main)
  endif()
  include(GoogleTest)
endif()

function(_orvandel_test_executable name core)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ${core} ${ORVANDEL_GTEST_MAIN})
  if(WIN32)
    target_link_options(${name} PRIVATE -static)
    target_link_libraries(${name} PRIVATE user32 gdi32 oleaut32)
  endif()
endfunction()

function(_orvandel_register_win32 name)
  add_test(NAME ${name} COMMAND ${name})
  # Generous, since 32-bit Wine may run through qemu-i386, several times
  # slower; the tests bound their own waits, so a stuck window still fails.
  # 77 is scripts/wine-run's "Wine cannot run on this machine", which
  # scripts/test.sh counts as a failure.
  # They share one display, and a window that takes the focus from another
  # test's window takes its key presses too: one at a time.
  set_tests_properties(${name} PROPERTIES TIMEOUT 1200 SKIP_RETURN_CODE 77 LABELS wine
                       RESOURCE_LOCK display)
endfunction()

function(orvandel_add_test name)
  _orvandel_test_executable(${name} orvandel_core_hooks ${ARGN})
  if(WIN32)
    _orvandel_register_win32(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 60)
  endif()
endfunction()

function(orvandel_add_win32_test name)
  if(WIN32)
    _orvandel_test_executable(${name} orvandel_core ${ARGN})
    _orvandel_register_win32(${name})
  endif()
endfunction()
