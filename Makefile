# Top-level entry points. `make demo` and `make test` do all set-up on a fresh Debian machine.
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all setup build test sanitize fuzz tsan bench demo clean

all: build

setup:
	@scripts/setup

build: setup
	@cmake -S . -B build $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

test: build
	@cd build && ctest --output-on-failure -j $(JOBS)

sanitize: setup
	@cmake -S . -B build-sanitize $(GEN) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_GC_STRESS=ON >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	@cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_all
	@scripts/fuzz-smoke build-fuzz

# The ThreadSanitizer build (clang) compiles everything and runs the tests whose code runs on
# more than one thread: the sound library and audio output, the platform layer (timers, the
# event pump), events, the row bands of the graphics core and the transitions that use them,
# the X server tests, and the scripts that play sound, wait on events and timers or run effects.
TSAN_TESTS := ^(sound|platform|events|fx|xserver)\.|^gfx\.(row_bands|transition_kernels)_test$$|^scripts\.(sound|events|fx)\.|^scripts\.system\.timers$$

tsan: setup
	@CC=clang CXX=clang++ cmake -S . -B build-tsan $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TSAN=ON >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp second_deadlock_stack=1" \
		ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

bench: build
	@cmake --build build -j $(JOBS) --target bench_all
	@scripts/run-bench build

demo: build
	@./build/KestroviaDemo

clean:
	rm -rf build build-sanitize build-fuzz build-tsan
