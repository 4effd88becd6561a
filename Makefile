# Mendora: two entry points that do all the set-up on a fresh Debian 12 machine.
#   make run   - install what is missing, build, and start Mendora
#   make test  - install what is missing, build, and run every test (also under ASan/UBSan)
# `make run` and `make bench` build only the programs they run; `make test`
# and `make build` build everything, the tests included.

BUILD_DIR ?= build
ASAN_DIR  ?= build-asan
JOBS      ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build build-asan run test test-release test-asan test-fuzz fuzz-long bench clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMENDORA_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)

run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target run-programs
	@./scripts/run.sh $(BUILD_DIR)

test-release: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	@cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The fuzz target over the samples for a fixed number of inputs (clang; says
# so and skips when clang is missing).
test-fuzz: deps
	@./scripts/fuzz.sh 4000

fuzz-long: deps
	@./scripts/fuzz.sh 1000000

test: test-release test-asan test-fuzz

bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target mendora-bench
	@$(BUILD_DIR)/bench/mendora-bench

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) build-fuzz
