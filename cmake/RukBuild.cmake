# Build rules shared by every folder.
#
# The program's own code (app/ tftp/ lib/ display/ crypto/ files/) is plain
# C++17 without exceptions and RTTI, warning-clean. Everything else (sim/,
# tests, tools) may use the whole standard library.

add_library(ruk_program_flags INTERFACE)
# Every function and object in a section of its own, so that the phone build's
# link drops whatever it does not call (ruk_phone_link).
target_compile_options(ruk_program_flags INTERFACE
  -fno-exceptions -fno-rtti -Wall -Wextra -Werror
  -ffunction-sections -fdata-sections)
target_include_directories(ruk_program_flags INTERFACE ${CMAKE_SOURCE_DIR})

add_library(ruk_support_flags INTERFACE)
target_compile_options(ruk_support_flags INTERFACE -Wall -Wextra -Werror)
target_include_directories(ruk_support_flags INTERFACE ${CMAKE_SOURCE_DIR})

if(RUK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzzing build instruments everything for libFuzzer's coverage feedback;
# only the fuzz targets themselves link libFuzzer's main.
if(RUK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "RUK_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ruk_program_library(NAME [DEPENDS lib...] [EXCLUDE file.cpp...]): every .cpp
# of the calling folder except the *_test.cpp files and the EXCLUDE ones (a
# main(), say) becomes the static library NAME.
function(ruk_program_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} STATIC ${sources})
  # The program's flags (no exceptions, no RTTI) stay its own: what links the
  # library, such as the tests and their device fakes derived from the
  # simulator's classes, keeps the whole language, so that the sanitizers
  # see one consistent set of vtables.
  target_link_libraries(${name} PRIVATE ruk_program_flags)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY RUK_UNIT_TEST_DIRS ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY RUK_UNIT_TEST_LIBS_${name} ${name})
  set_property(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} PROPERTY RUK_LIBRARY ${name})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set_property(GLOBAL APPEND PROPERTY RUK_PROGRAM_PARTS "${folder}=$<TARGET_FILE:${name}>")
endfunction()

# A simulated executable: linked with the device models of sim/, which stand
# in for the phone's devices through the linker's --wrap. The list of wrapped
# calls is read once every folder is configured, so that a target of a folder
# added before sim/ (app/) gets them too.
function(ruk_simulated target)
  target_link_libraries(${target} PRIVATE ruk_sim)
  # The target's name is put into the deferred call now; variables in it
  # would only be read when it runs.
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL ruk_simulated_wraps [[${target}]])")
endfunction()

function(ruk_simulated_wraps target)
  get_property(wraps GLOBAL PROPERTY RUK_SIM_WRAPS)
  foreach(w ${wraps})
    target_link_options(${target} PRIVATE "LINKER:--wrap=${w}")
  endforeach()
endfunction()

set(RUK_SAFE_RUN ${CMAKE_SOURCE_DIR}/scripts/safe-run)

# What every test and fuzz target shares: text() and bytes() between str and
# std::string (tests/str_text.h).
add_library(ruk_test_text INTERFACE)
target_sources(ruk_test_text INTERFACE ${CMAKE_SOURCE_DIR}/tests/str_text.h)
target_include_directories(ruk_test_text INTERFACE ${CMAKE_SOURCE_DIR})

# What every test sees: where the tree and the build are, the machine the
# tests were built for (uname's name for it) and the command that starts a
# program binary of this build (empty on the host; qemu-mips for the MIPS
# build), for tests that start programs themselves.
list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " RUK_EMULATOR)
set(RUK_TEST_ENVIRONMENT
  "RUK_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "RUK_BINARY_DIR=${CMAKE_BINARY_DIR}"
  "RUK_TARGET_MACHINE=${CMAKE_SYSTEM_PROCESSOR}"
  "RUK_EMULATOR=${RUK_EMULATOR}")

# ruk_test(NAME SOURCES... LIBS lib... [LABELS l...] [NOT_EMULATED reason]):
# a GoogleTest program, simulated, run by ctest through scripts/safe-run (and
# through the emulator in a cross build). A test that cannot run under the
# emulator names the reason with NOT_EMULATED: in a cross build it is still
# built, and ctest reports it skipped; the reasons are listed in
# not-emulated.txt of the build folder, which `make test` prints.
function(ruk_test name)
  cmake_parse_arguments(ARG "" "NOT_EMULATED" "LIBS;LABELS;SOURCES" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ruk_support_flags ruk_test_text GTest::gtest_main
                                        GTest::gmock)
  ruk_simulated(${name})
  if(CMAKE_CROSSCOMPILING_EMULATOR AND ARG_NOT_EMULATED)
    ruk_not_emulated(${name} "${ARG_NOT_EMULATED}" LABELS ${ARG_LABELS})
    return()
  endif()
  add_test(NAME ${name} COMMAND ${RUK_SAFE_RUN} ${CMAKE_CROSSCOMPILING_EMULATOR}
           $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}"
                       ENVIRONMENT "${RUK_TEST_ENVIRONMENT}")
endfunction()

# ruk_not_emulated(NAME REASON [LABELS l...]): registers NAME as a test that
# the emulator cannot run: ctest shows it skipped, and REASON joins
# not-emulated.txt. For tests added without ruk_test (a script, say) too.
function(ruk_not_emulated name reason)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  add_test(NAME ${name} COMMAND sh -c "echo \"$1: not run under emulation: $2\"; exit 77"
           sh ${name} "${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS "${ARG_LABELS};not-emulated")
  set_property(GLOBAL APPEND PROPERTY RUK_NOT_EMULATED "${name}: ${reason}")
endfunction()

# Writes not-emulated.txt; called once, after every folder has added its tests.
function(ruk_write_not_emulated)
  get_property(lines GLOBAL PROPERTY RUK_NOT_EMULATED)
  list(JOIN lines "\n" text)
  if(text)
    string(APPEND text "\n")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/not-emulated.txt "${text}")
endfunction()

# One unit-test program per program folder, from the *_test.cpp files that
# stand beside the code. A folder may set the directory properties
# RUK_UNIT_TEST_LIBS (libraries only its tests use; imported targets must be
# GLOBAL) and RUK_UNIT_TEST_LINK_OPTIONS (e.g. --wrap for fault injection).
function(ruk_add_unit_tests)
  get_property(dirs GLOBAL PROPERTY RUK_UNIT_TEST_DIRS)
  foreach(dir ${dirs})
    file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    if(tests)
      get_property(lib DIRECTORY ${dir} PROPERTY RUK_LIBRARY)
      get_property(extra_libs DIRECTORY ${dir} PROPERTY RUK_UNIT_TEST_LIBS)
      get_property(link_options DIRECTORY ${dir} PROPERTY RUK_UNIT_TEST_LINK_OPTIONS)
      get_filename_component(folder ${dir} NAME)
      ruk_test(${folder}_test SOURCES ${tests} LIBS ${lib} ${extra_libs} LABELS unit)
      if(link_options)
        target_link_options(${folder}_test PRIVATE ${link_options})
      endif()
    endif()
  endforeach()
endfunction()

# The phone build `ruk` (once app/ defines it) is linked without the unused
# sections and writes a linker map beside itself, from which scripts/size
# tells how much each program folder adds. parts.txt of the build folder
# names each folder's library and the program, for that script.
function(ruk_phone_link)
  get_property(parts GLOBAL PROPERTY RUK_PROGRAM_PARTS)
  if(TARGET ruk)
    target_link_options(ruk PRIVATE LINKER:--gc-sections
                        "LINKER:-Map=$<TARGET_FILE:ruk>.map")
    get_target_property(dir ruk SOURCE_DIR)
    get_filename_component(folder ${dir} NAME)
    # The objects linked straight into ruk, not through a library, are its
    # folder's.
    list(APPEND parts "program=$<TARGET_FILE:ruk>" "objects=${folder}")
  endif()
  list(JOIN parts "\n" text)
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/parts.txt CONTENT "${text}\n")
endfunction()
