# The set-up commands: "make demo", "make check" and "make fuzz". They install
# the missing Debian packages first (tools/install-deps.sh).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
RELEASE_BUILD := build-release
FUZZ_BUILD := build-fuzz
FUZZ_COV_BUILD := build-fuzz-cov
# Both builds run each test program as this many processes, each with its
# share of the cases, instead of a process per case: a process per case costs
# half a second in the plain build and about a second in the sanitizer build
# (starting a sanitized process and checking it for leaks at exit), which is
# most of the run. ("ctest -L frame" picks a program's shares.)
TEST_SHARDS ?= 4
ASAN_TEST_SHARDS ?= $(TEST_SHARDS)
DEMO_OUT := demo-out
# Seconds each fuzz target runs under "make fuzz"; "make check" runs each for
# FUZZ_CHECK_SECONDS.
FUZZ_SECONDS ?= 60
FUZZ_CHECK_SECONDS ?= 3
# Warnings are errors in every build of this Makefile (and so in CI), so
# that "make", "make demo" and "make check" configure the build folder
# alike and none of them recompiles what another built; a plain cmake
# build keeps them as warnings.
WERROR ?= ON
# The configuration of the build folder, the same for every target. The
# tests' own code compiles without optimisation and with line tables only,
# in about half the time; the library, the program and the benchmarks keep
# the build type's flags.
CONFIGURE_BUILD = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEZ_WERROR=$(WERROR) \
  -DKEZ_TEST_OPTIMIZE=OFF -DKEZ_TEST_SHARDS=$(TEST_SHARDS)

.PHONY: all deps build build-asan build-release build-fuzz check test test-asan demo \
	fuzz fuzz-check clean format format-check tree-before

all: build

deps:
	@tools/install-deps.sh

build: deps
	@$(CONFIGURE_BUILD) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Asan -DKEZ_BUILD_BENCH=OFF \
	  -DKEZ_WERROR=$(WERROR) -DKEZ_TEST_OPTIMIZE=OFF -DKEZ_TEST_SHARDS=$(ASAN_TEST_SHARDS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# What a user or packager builds, the libraries and programs in the Release
# configuration; make check builds it once with warnings as errors so that an
# optimiser's warnings cannot creep back. The tests and benchmarks compile in
# the plain build (with NDEBUG) and the sanitizer build (without), which is
# what any build type of theirs needs; the layering is the plain build's to
# check.
build-release: deps
	@cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKEZ_WERROR=$(WERROR) \
	  -DKEZ_BUILD_TESTS=OFF -DKEZ_BUILD_BENCH=OFF -DKEZ_LAYER_CHECK=OFF >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS)

build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKEZ_FUZZ=ON -DKEZ_LAYER_CHECK=OFF -DKEZ_BUILD_TESTS=OFF -DKEZ_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target kez_fuzz_targets

# The fuzz targets with source coverage instead of the sanitizers.
.PHONY: build-fuzz-cov fuzz-coverage
build-fuzz-cov: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_COV_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKEZ_FUZZ=ON -DKEZ_FUZZ_COVERAGE=ON -DKEZ_LAYER_CHECK=OFF -DKEZ_BUILD_TESTS=OFF -DKEZ_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_COV_BUILD) -j $(JOBS) --target kez_fuzz_targets

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

fuzz: build-fuzz
	@tools/fuzz.sh -j $(JOBS) $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-check: build-fuzz
	@tools/fuzz.sh -j $(JOBS) $(FUZZ_BUILD) $(FUZZ_CHECK_SECONDS)

# What the seeds and the corpus of the last "make fuzz" reach, per source file.
fuzz-coverage: build-fuzz-cov
	@tools/fuzz.sh --coverage $(FUZZ_COV_BUILD) $(FUZZ_BUILD)

# Builds, tests and fuzz targets write only into the build folders: what
# appears in the source tree during the run (tools/tree-state.sh) fails it.
check: WERROR = ON
check: tree-before format-check test test-asan build-release fuzz-check
	@tools/tree-state.sh $(BUILD)/tree-before.txt || \
	  { echo "make check: the run wrote these into the source tree" >&2; exit 1; }
	@echo "make check: all tests passed (layout, plain and sanitizer builds, release build, fuzz targets)"

tree-before:
	@mkdir -p $(BUILD) && tools/tree-state.sh >$(BUILD)/tree-before.txt

# The demo needs its one program only, not the tests: sfcplot in batch mode
# on the bundled observations (tools/demo.sh says what it writes where).
demo: deps
	@$(CONFIGURE_BUILD) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target sfcplot
	@tools/demo.sh $(BUILD) $(DEMO_OUT)

# The layout of .clang-format over the tracked C++ files; format-check
# changes nothing and fails when a file differs.
format:
	@tools/format.sh

format-check: deps
	@tools/format.sh --check

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) $(FUZZ_BUILD) $(FUZZ_COV_BUILD) $(DEMO_OUT)
