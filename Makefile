# Top-level entry points. `make demo` and `make test` do all set-up on a fresh Debian machine.
JOBS ?= $(shell nproc)
GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: all setup build test sanitize fuzz bench demo clean

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

bench: build
	@cmake --build build -j $(JOBS) --target bench_all
	@scripts/run-bench build

demo: build
	@./build/KestroviaDemo

clean:
	rm -rf build build-sanitize build-fuzz
