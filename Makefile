# The two commands of the README: `make test` and `make demo`. Both install
# what is missing, configure, build and run.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps test test-host test-asan build-host build-asan bench clean

all: build-host

deps:
	@scripts/install-deps

build-host: deps
	cmake -S . -B build $(CMAKE_FLAGS) > /dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DRUK_SANITIZE=ON $(CMAKE_FLAGS) > /dev/null
	cmake --build build-asan -j $(JOBS)

test-host: build-host
	ctest --test-dir build -j $(JOBS) --output-on-failure

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan -j $(JOBS) --output-on-failure

# Host suite, then the same suite under the sanitizers.
test: test-host test-asan
	@echo "make test: all suites passed"

# Benchmarks (never part of `make test`): an optimised build of the program
# libraries and every bench/*_bench program, each run in turn.
bench: deps
	cmake -S . -B build-bench -DRUK_BENCH=ON -DRUK_TESTS=OFF -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) > /dev/null
	cmake --build build-bench -j $(JOBS)
	for b in build-bench/bench/*_bench; do echo "== $$b"; scripts/safe-run $$b || exit 1; done

clean:
	rm -rf build build-asan build-bench
