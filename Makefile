# The two set-up commands: "make demo" and "make check". Both install the
# missing Debian packages first (tools/install-deps.sh).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
ASAN_BUILD := build-asan
DEMO_OUT := demo-out

.PHONY: all deps build build-asan check test test-asan demo clean format format-check

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Asan -DKEZ_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

check: test test-asan
	@echo "make check: all tests passed (plain and sanitizer builds)"

demo: build
	@tools/demo.sh $(BUILD) $(DEMO_OUT)

# The layout of .clang-format over the tracked C++ files; format-check
# changes nothing and fails when a file differs.
format:
	@tools/format.sh

format-check:
	@tools/format.sh --check

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(DEMO_OUT)
