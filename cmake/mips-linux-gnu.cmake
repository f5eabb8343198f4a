# The phone's processor: 32-bit big-endian MIPS, Linux, glibc, built with
# Debian's cross compiler (g++-mips-linux-gnu). Test programs built with this
# file run under qemu-mips with the cross C library as their root; the phone
# build itself is never run on a development machine (scripts/safe-run and
# README.md say why).
#
# The target's own libraries (LibTomMath, zlib, libpng, GoogleTest, OpenSSL's
# libcrypto) live in a prefix made by scripts/mips-deps in a cache outside the
# tree, which build-mips/deps/prefix of this tree links to by default;
# -DRUK_MIPS_PREFIX=... or the environment variable of the same name chooses
# another.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(RUK_MIPS_TRIPLET mips-linux-gnu)
set(RUK_MIPS_SYSROOT /usr/${RUK_MIPS_TRIPLET})

set(CMAKE_C_COMPILER ${RUK_MIPS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${RUK_MIPS_TRIPLET}-g++)
set(CMAKE_AR ${RUK_MIPS_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${RUK_MIPS_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${RUK_MIPS_TRIPLET}-strip CACHE FILEPATH "")

if(NOT RUK_MIPS_PREFIX)
  if(DEFINED ENV{RUK_MIPS_PREFIX})
    set(RUK_MIPS_PREFIX $ENV{RUK_MIPS_PREFIX})
  else()
    get_filename_component(RUK_MIPS_PREFIX
      ${CMAKE_CURRENT_LIST_DIR}/../build-mips/deps/prefix ABSOLUTE)
  endif()
endif()
# try_compile projects read this file again; they must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RUK_MIPS_PREFIX)

# Libraries, headers and packages come from the cross C library and the
# private prefix only, never from the host; programs (pkg-config, qemu) from
# the host.
set(CMAKE_FIND_ROOT_PATH ${RUK_MIPS_PREFIX} ${RUK_MIPS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg_check_modules looks at the prefix's .pc files and at nothing of the host.
set(ENV{PKG_CONFIG_LIBDIR} ${RUK_MIPS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# ctest starts every test program through this emulator (after
# scripts/safe-run, see ruk_test).
find_program(RUK_QEMU_MIPS qemu-mips)
if(NOT RUK_QEMU_MIPS)
  set(RUK_QEMU_MIPS qemu-mips)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${RUK_QEMU_MIPS} -L ${RUK_MIPS_SYSROOT})
