# The two commands of the README: `make test` and `make demo`. Both install
# what is missing, configure, build and run.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps demo test test-host test-asan test-mips test-fuzz build-host build-asan \
        build-mips build-phone build-fuzz mips-deps size fuzz bench clean vm-test vm-demo drill

all: build-host

deps:
	@scripts/install-deps

build-host: deps
	cmake -S . -B build $(CMAKE_FLAGS) > /dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DRUK_SANITIZE=ON $(CMAKE_FLAGS) > /dev/null
	cmake --build build-asan -j $(JOBS)

# The phone's processor: the libraries the MIPS build links, cross-built once
# per machine into a cache that every clone shares (scripts/mips-deps; the
# prefix is build-mips/deps/prefix), then the phone build of ruk and the whole
# simulated suite, sized as on the phone. The phone build is only built, never
# run.
MIPS_CONFIGURE = cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE=cmake/mips-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=MinSizeRel
mips-deps: deps
	@JOBS=$(JOBS) scripts/mips-deps build-mips/deps all

build-mips: mips-deps
	$(MIPS_CONFIGURE) -DRUK_TESTS=ON $(CMAKE_FLAGS) > /dev/null
	cmake --build build-mips -j $(JOBS)

# The phone build alone, with the emulated phone's own programs (vm-test,
# vm-demo, drill): only the libraries those need. A build-mips/ that has the
# simulated suite configured keeps it.
build-phone: deps
	@tests=$$(sed -n 's/^RUK_TESTS:BOOL=//p' build-mips/CMakeCache.txt 2>/dev/null); \
	if [ "$$tests" = ON ]; then libraries=all; else libraries=phone tests=OFF; fi; \
	JOBS=$(JOBS) scripts/mips-deps build-mips/deps $$libraries && \
	echo "$(MIPS_CONFIGURE) -DRUK_TESTS=$$tests $(CMAKE_FLAGS)" && \
	$(MIPS_CONFIGURE) -DRUK_TESTS=$$tests $(CMAKE_FLAGS) > /dev/null
	cmake --build build-mips -j $(JOBS) --target ruk ruk-init ruk-devices

test-host: build-host
	ctest --test-dir build -j $(JOBS) --output-on-failure
	@scripts/skipped-tests build

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan -j $(JOBS) --output-on-failure
	@scripts/skipped-tests build-asan

# The simulated suite built for MIPS, each test under qemu-mips through
# scripts/safe-run (the emulator passes system calls to this machine's kernel).
test-mips: build-mips
	ctest --test-dir build-mips -j $(JOBS) --output-on-failure
	@scripts/skipped-tests build-mips

# The libFuzzer targets of fuzz/, built by clang with the sanitizers. Each
# runs FUZZ_SECONDS from its seeds; `make test` gives each a short run,
# `make fuzz` a long one. New inputs go to build-fuzz/corpus, crashes to
# build-fuzz/artifacts.
FUZZ_SECONDS ?= 20
LONG_FUZZ_SECONDS ?= 600
build-fuzz: deps
	cmake -S . -B build-fuzz -DRUK_FUZZ=ON -DRUK_TESTS=OFF -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS) > /dev/null
	cmake --build build-fuzz -j $(JOBS)

test-fuzz: build-fuzz
	RUK_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --test-dir build-fuzz -j $(JOBS) --output-on-failure

fuzz: build-fuzz
	RUK_FUZZ_SECONDS=$(LONG_FUZZ_SECONDS) ctest --test-dir build-fuzz -j $(JOBS) --output-on-failure

# The phone build itself on an emulated phone: QEMU's Malta board with a
# kernel built once from Debian's linux-source-6.1 (cached outside the tree,
# scripts/vm-kernel), the keypad and port driver as guest devices, flash on
# the kernel's MTD driver, a real tftpd-hpa behind QEMU's user network, all
# in a network namespace of its own. scripts/vm-phone prints each phase's
# time; vm-demo shows the update live.
vm-test:
	@JOBS=$(JOBS) MAKE="$(MAKE)" scripts/vm-phone test

vm-demo:
	@JOBS=$(JOBS) MAKE="$(MAKE)" scripts/vm-phone demo

# Power cuts on the emulated phone: QEMU killed at a seeded moment of an
# update, then the next start checked (scripts/vm_drill.py). DRILL_CUTS cuts
# (100) from the seed DRILL_FIRST (1), or SEED=S alone; a table at the end.
drill:
	@JOBS=$(JOBS) MAKE="$(MAKE)" DRILL_CUTS="$(DRILL_CUTS)" DRILL_FIRST="$(DRILL_FIRST)" \
	  SEED="$(SEED)" scripts/vm-phone drill

# Host suite, the same suite under the sanitizers, on the phone's processor,
# the fuzz targets, then the phone build on the emulated phone.
test: test-host test-asan test-mips test-fuzz vm-test
	@echo "make test: all suites passed"

# The stripped phone build and what each program folder adds to it.
size: build-mips
	@scripts/size build-mips

# The whole update on the simulated phone, watched in the terminal: only what
# the demo runs is built.
demo: deps
	cmake -S . -B build $(CMAKE_FLAGS) > /dev/null
	cmake --build build -j $(JOBS) --target ruk-simulated ruk-image ruk-sim
	scripts/demo build

# Benchmarks (never part of `make test`): an optimised build of the program
# libraries and every bench/*_bench program, each run in turn.
bench: deps
	cmake -S . -B build-bench -DRUK_BENCH=ON -DRUK_TESTS=OFF -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null
	cmake --build build-bench -j $(JOBS)
	for b in build-bench/bench/*_bench; do echo "== $$b"; RUK_SOURCE_DIR=$(CURDIR) scripts/safe-run $$b || exit 1; done

clean:
	rm -rf build build-asan build-bench build-mips build-fuzz
