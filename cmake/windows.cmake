# The Windows build: included from the top CMakeLists.txt when WIN32.
#
# Sources: every area source named *_posix.cpp is replaced by its *_win.cpp; the compat
# folder adds dlopen and iconv over the system's own functions.
foreach(_area fp_base fp_documents fp_io fp_device fp_rtserver fpdriver)
  get_target_property(_srcs ${_area} SOURCES)
  list(TRANSFORM _srcs REPLACE "_posix\\.cpp$" "_win.cpp")
  set_target_properties(${_area} PROPERTIES SOURCES "${_srcs}")
endforeach()
target_sources(fp_base PRIVATE src/compat/win32/dlfcn.cpp src/compat/win32/iconv.cpp)
target_include_directories(fp_base PUBLIC ${CMAKE_SOURCE_DIR}/src/compat/win32)
# Windows 7 and later; Unicode Win32 functions; no min/max macros; the C library's
# reentrant time functions.
target_compile_definitions(fp_base PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX
  _POSIX_THREAD_SAFE_FUNCTIONS)  # localtime_r
target_link_libraries(fp_base PUBLIC oleaut32 ole32 ws2_32 shell32 user32 gdi32)
target_link_libraries(fp_io PUBLIC winspool)

# The DLL exports the 22 functions under their plain names: a module-definition file,
# which on x86 maps each plain name to its __stdcall symbol (NAME@12). The names are quoted:
# VERSION is also a keyword of the file's syntax.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(FP_STDCALL_SUFFIX "@12")
else()
  set(FP_STDCALL_SUFFIX "")
endif()
# The names come from the shared object's version script, the one list the ABI tests hold
# against the public header; the string helpers there are the system's own on Windows.
file(READ ${CMAKE_SOURCE_DIR}/src/entry/fpdriver.map _map)
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" _words "${_map}")
set(_exports)
foreach(_word IN LISTS _words)
  if(NOT _word MATCHES "^(global|local|Sys.*)$")
    list(APPEND _exports ${_word})
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/entry/fpdriver.map)
set(_def "LIBRARY fpdriver.dll\nEXPORTS\n")
foreach(_name IN LISTS _exports)
  if(FP_STDCALL_SUFFIX)
    string(APPEND _def "  \"${_name}\" = \"${_name}${FP_STDCALL_SUFFIX}\"\n")
  else()
    string(APPEND _def "  \"${_name}\"\n")
  endif()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/fpdriver.def "${_def}")
set_target_properties(fpdriver PROPERTIES PREFIX "" OUTPUT_NAME fpdriver)
target_sources(fpdriver PRIVATE ${CMAKE_BINARY_DIR}/fpdriver.def)
# On x86 the import library the linker writes for the plain names has no NAME@12 symbols,
# which hosts declaring the exports __stdcall (the header does) link against: dlltool
# writes one that has them, each bound to its plain export (-k).
if(FP_STDCALL_SUFFIX)
  set(_implib_def "LIBRARY fpdriver.dll\nEXPORTS\n")
  foreach(_name IN LISTS _exports)
    string(APPEND _implib_def "  \"${_name}${FP_STDCALL_SUFFIX}\"\n")
  endforeach()
  file(WRITE ${CMAKE_BINARY_DIR}/fpdriver-stdcall.def "${_implib_def}")
  add_custom_command(TARGET fpdriver POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -k -d ${CMAKE_BINARY_DIR}/fpdriver-stdcall.def -D fpdriver.dll
            -l $<TARGET_LINKER_FILE:fpdriver>
    VERBATIM)
endif()
target_link_options(fpdriver PRIVATE -Wl,--exclude-all-symbols)

# Test folders that exist only on POSIX systems: their tests run the printer emulator or an
# HTTP server in the test process, or a pseudo-terminal for the serial port; or they check
# the installed package, the doc examples, the tools, the print service and the C# binding
# under Mono, which the Linux build covers.
set(FP_POSIX_ONLY_TESTS emulator io local_transports docs install tools fpd kit)
# The tools and tests set environment variables with the POSIX functions.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-include${CMAKE_SOURCE_DIR}/src/compat/win32/posix_extras.h>)

# The tests of the Windows build itself; FPDRIVER_FPEMU names the Linux printer emulator
# they run against.
set(FP_PLATFORM_TESTS windows)
set(FPDRIVER_FPEMU "" CACHE FILEPATH "The printer emulator program (a Linux build) for the Windows tests")

# fp_windows_test_environment(TEST VAR=value...): environment for one test that
# gtest_discover_tests finds when the tests run, so its properties can't be set here: a
# file CTest reads after the discovered tests sets them. For the settings Windows takes from
# the system rather than from the process (the ANSI code page, the user's formats), which
# Wine takes from the Unix locale (LC_ALL) a test starts under.
function(fp_windows_test_environment test)
  string(MAKE_C_IDENTIFIER "${test}" _id)
  set(_file ${CMAKE_CURRENT_BINARY_DIR}/${_id}_environment.cmake)
  # Alone: a Wine process starting in another locale rewrites the regional settings that
  # every process of the prefix reads, so a test run beside it could see those instead.
  file(WRITE ${_file} "set_tests_properties([==[${test}]==] PROPERTIES ENVIRONMENT [==[${ARGN}]==] RUN_SERIAL TRUE)\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_file})
endfunction()

# fp_version_resource(TARGET DESCRIPTION): the version resource of a program or the DLL, from
# the project version.
enable_language(RC)
function(fp_version_resource target description)
  set(FP_RC_NAME ${target})
  set(FP_RC_DESCRIPTION "${description}")
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "SHARED_LIBRARY")
    set(FP_RC_FILE ${target}.dll)
    set(FP_RC_TYPE VFT_DLL)
  else()
    set(FP_RC_FILE ${target}.exe)
    set(FP_RC_TYPE VFT_APP)
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/version.rc.in ${CMAKE_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${target}_version.rc)
endfunction()
fp_version_resource(fpdriver "Fiscal printer driver")

# fpemu.exe and fpctl's demo and doctor, for Windows developers without a printer; the tests
# keep using the Linux emulator.
add_subdirectory(tools/fpemu)
fp_version_resource(fpemu "RT fiscal printer emulator")

# fpd.exe, the local print service, over plain HTTP: the Windows libmicrohttpd has no TLS.
add_subdirectory(tools/fpd)
fp_version_resource(fpd "Fiscal printer print service")
