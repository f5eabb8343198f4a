# Build rules shared by every folder.
#
# The program's own code (app/ tftp/ lib/ display/ crypto/ files/) is plain
# C++17 without exceptions and RTTI, warning-clean. Everything else (sim/,
# tests, tools) may use the whole standard library.

add_library(ruk_program_flags INTERFACE)
target_compile_options(ruk_program_flags INTERFACE
  -fno-exceptions -fno-rtti -Wall -Wextra -Werror)
target_include_directories(ruk_program_flags INTERFACE ${CMAKE_SOURCE_DIR})

add_library(ruk_support_flags INTERFACE)
target_compile_options(ruk_support_flags INTERFACE -Wall -Wextra -Werror)
target_include_directories(ruk_support_flags INTERFACE ${CMAKE_SOURCE_DIR})

if(RUK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# ruk_program_library(NAME [DEPENDS lib...]): every .cpp of the calling folder
# except the *_test.cpp files becomes the static library NAME.
function(ruk_program_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
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
endfunction()

# A simulated executable: linked with the device models of sim/, which stand
# in for the phone's devices through the linker's --wrap.
function(ruk_simulated target)
  target_link_libraries(${target} PRIVATE ruk_sim)
  get_property(wraps GLOBAL PROPERTY RUK_SIM_WRAPS)
  foreach(w ${wraps})
    target_link_options(${target} PRIVATE "LINKER:--wrap=${w}")
  endforeach()
endfunction()

set(RUK_SAFE_RUN ${CMAKE_SOURCE_DIR}/scripts/safe-run)

# ruk_test(NAME SOURCES... LIBS lib... [LABELS l...]): a GoogleTest program,
# simulated, run by ctest through scripts/safe-run.
function(ruk_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS;SOURCES" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ruk_support_flags GTest::gtest_main GTest::gmock)
  ruk_simulated(${name})
  add_test(NAME ${name} COMMAND ${RUK_SAFE_RUN} ${CMAKE_CROSSCOMPILING_EMULATOR}
           $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}"
                       ENVIRONMENT "RUK_SOURCE_DIR=${CMAKE_SOURCE_DIR};RUK_BINARY_DIR=${CMAKE_BINARY_DIR}")
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
