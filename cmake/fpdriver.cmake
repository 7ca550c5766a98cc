# Build helpers shared by every area, tool and test folder.

# Warnings are errors: a warning left in the tree hides the next one. clang also checks that
# the members a lock guards are read under it (base/thread_annotations.h).
option(FPDRIVER_WERROR "Treat compiler warnings as errors" ON)
set(FP_WARNINGS -Wall -Wextra)
if(FPDRIVER_WERROR)
  list(APPEND FP_WARNINGS -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  list(APPEND FP_WARNINGS -Wthread-safety)
endif()
# GCC 12 reports -Wrestrict falsely inside libstdc++'s strings once it inlines their copies
# (a one-character literal assigned, "literal" + a temporary string: GCC bug 105329), as the
# -O3 builds do (Release, the MinGW builds) all over the tree. The check is off for it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND FP_WARNINGS -Wno-restrict)
endif()

if(FPDRIVER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # clang's check of calls through function pointers compares the type information of the
  # two sides by address; libfpdriver.so keeps its own copy hidden, so every correctly typed
  # call of an export from a host would be reported.
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fno-sanitize=function)
  endif()
endif()
# The fuzz targets need coverage from the code they drive: everything is built with it.
if(FPDRIVER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "FPDRIVER_FUZZ needs clang (libFuzzer): configure with CC=clang CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(FPDRIVER_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# fp_area(name SOURCES files... LINKS libs...): the static library of one area of src/.
function(fp_area name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
  target_compile_options(${name} PRIVATE ${FP_WARNINGS})
  target_link_libraries(${name} PUBLIC ${A_LINKS})
endfunction()

# Test programs whose tests run threads of their own beside the test's (host threads racing
# the exports, the emulator's and test servers' threads, the log writer): they carry the
# CTest label "threads", which the ThreadSanitizer build runs (ctest -L threads), and the
# target fp_threaded_tests builds just them.
set(FP_THREADED_TESTS
  test_thread_stress test_entry_abi_device test_entry_abi test_entry_frame test_base_services
  test_device test_driver test_emulator test_io)
if(NOT TARGET fp_threaded_tests)
  add_custom_target(fp_threaded_tests)
endif()

# fp_test(name [USES_LIBRARY] SOURCES files... LIBS libs...): a GoogleTest executable registered
# with CTest. USES_LIBRARY makes it depend on the built libfpdriver.so (FPDRIVER_SO_PATH).
# Each test runs in its own process, which the ABI tests rely on (handle numbering is per process).
function(fp_test name)
  cmake_parse_arguments(T "USES_LIBRARY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${FP_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    FP_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    FPDRIVER_SO_PATH="$<TARGET_FILE:fpdriver>")
  # Shared test support (support/...) is included from the tests folder.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  if(T_USES_LIBRARY)
    add_dependencies(${name} fpdriver)
  endif()
  set(properties TIMEOUT 120)
  if(name IN_LIST FP_THREADED_TESTS)
    list(APPEND properties LABELS threads)
    add_dependencies(fp_threaded_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
