# The two commands of the README: `make demo` (the main job) and `make test`.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
JOBS       ?= $(shell nproc)
# Debug information of the builds; CI asks for line tables only (-g1), which
# is all the sanitizers' and fuzzers' stack traces need, and builds faster.
DEBUG_INFO ?= -g

.PHONY: setup build test test-asan test-tsan demo bench clean fuzz

setup:
	./scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		"-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 $(DEBUG_INFO) -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 $(DEBUG_INFO) -DNDEBUG"
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The leak checker guesses the bounds of the thread-local blocks of libraries
# opened at run time; with Debian 12's C library it sometimes takes stray bytes
# for a block's bounds, depending only on where the block lies, and crashes at
# exit. Those blocks are left out of its roots (intercept_tls_get_addr=0).
test-asan: setup
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BUILD_BENCH=OFF \
		"-DCMAKE_CXX_FLAGS_DEBUG=$(DEBUG_INFO) -O1" "-DCMAKE_C_FLAGS_DEBUG=$(DEBUG_INFO) -O1"
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)

# The thread tests alone under ThreadSanitizer; any report fails the run.
# tests/tsan.supp names what is let through, all of it outside this code.
test-tsan: setup
	cmake -S . -B $(BUILD_TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_TSAN=ON -DKV_BUILD_BENCH=OFF \
		"-DCMAKE_CXX_FLAGS_DEBUG=$(DEBUG_INFO) -O1" "-DCMAKE_C_FLAGS_DEBUG=$(DEBUG_INFO) -O1"
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target thread_tests
	TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp" \
		ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS)

demo: build
	./scripts/setup.sh demo || echo "demo: zenity is not installed; the editor's file dialogs use the built-in browser"
	./scripts/demo.sh $(BUILD)

bench: build
	$(BUILD)/bench/kv_bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN)

# libFuzzer targets (clang) for what the plug-in reads from hosts and files,
# each run for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30
fuzz: setup
	DEBUG_INFO="$(DEBUG_INFO)" ./scripts/fuzz.sh $(FUZZ_SECONDS)
