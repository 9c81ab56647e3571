# Entry points for a fresh Debian machine. Each target installs what is missing first.
#   make test   configure, build and run the whole test suite
#   make demo   build the tool and sample databases, print two resources, check the service
#   make serve-demo  the same build, its Redfish service in the background, one curl request
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: deps build test demo serve-demo clean

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

# The converter and the tool built with their fixed paths under $(DEMO)/root, where the build
# also creates the sample server's databases; then two resources printed from them and the
# whole service checked against DMTF's schemas in DMTF_SCHEMAS (when that folder exists).
DEMO ?= build-demo
DMTF_SCHEMAS ?= $(abspath ../shared/dmtf/json-schema)
demo: deps
	cmake -S . -B $(DEMO) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQL2JSON_BUILD_TESTS=OFF \
	  -DSQL2JSON_PATH_PREFIX=$(abspath $(DEMO)/root) -DSQL2JSON_SAMPLE_DATA=ON
	cmake --build $(DEMO) -j $(JOBS)
	@./sample/demo.sh $(DEMO)/tools/sql2json $(DMTF_SCHEMAS)

# The same build; then `sql2json serve` on a free loopback port, one resource fetched with
# curl (SERVE_PATH), and the service stopped.
SERVE_PATH ?= /redfish/v1/Chassis/1U
serve-demo: deps
	cmake -S . -B $(DEMO) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSQL2JSON_BUILD_TESTS=OFF \
	  -DSQL2JSON_PATH_PREFIX=$(abspath $(DEMO)/root) -DSQL2JSON_SAMPLE_DATA=ON
	cmake --build $(DEMO) -j $(JOBS)
	@./sample/serve_demo.sh $(DEMO)/tools/sql2json $(SERVE_PATH)

# ---- Longer stages (CI runs them after `test`) ----------------------------------------------
SAN_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer

.PHONY: test-asan test-tsan test-armhf format format-check

# The whole suite under AddressSanitizer + UndefinedBehaviorSanitizer, leak detection on.
test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$(SAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SAN_FLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(SAN_FLAGS)"
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -LE packaging

# The concurrency tests under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread"
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L concurrency

# Cross-build for 32-bit ARM and run the whole suite under qemu-arm.
test-armhf: deps
	./scripts/install-armhf-deps.sh
	cmake -S . -B build-armhf -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/armhf-toolchain.cmake
	cmake --build build-armhf -j $(JOBS)
	cd build-armhf && ctest --output-on-failure -j $(JOBS)

# Lays every C++ file out as .clang-format says; format-check fails when one is not.
format: deps
	git ls-files '*.cpp' '*.hpp' '*.h' | xargs clang-format -i

format-check: deps
	git ls-files '*.cpp' '*.hpp' '*.h' | xargs clang-format --dry-run --Werror

# Each libFuzzer target for FUZZ_SECONDS (default 60) from its committed seed corpus; fails on
# any crash, leak, timeout or sanitizer report. Longer runs: make fuzz FUZZ_SECONDS=3600
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all
.PHONY: fuzz
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSQL2JSON_BUILD_TESTS=OFF \
	  -DSQL2JSON_BUILD_TOOLS=OFF -DSQL2JSON_BUILD_FUZZ=ON -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
	cmake --build build-fuzz -j $(JOBS)
	./scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

# clang-tidy over the library, the host platform layer and the tool (.clang-tidy's checks).
.PHONY: tidy
tidy: build
	clang-tidy -p $(BUILD) --quiet src/*.cpp platform/host/*.cpp tools/*/*.cpp tools/*/*/*.cpp 2>/dev/null | \
	  tee $(BUILD)/tidy.log; ! grep -q "warning:" $(BUILD)/tidy.log

# ---- Benchmarks (bench/README.md) ------------------------------------------------------------
# `make bench` builds them in release mode, runs every case (about 3 minutes on 2 cores) and
# prints the table of medians and ratios, then times serve's $expand of a 1 000-member
# collection against its 1 001 requests (bench/expand_bench.py, with the tool of $(BUILD)) and
# what a member GET, an expansion, check and profile cost as collections grow to 10 000
# members (bench/scale_bench.py, about 2 minutes), and what the deepest expansion of the
# service root costs serve with its bounds and without (bench/request_cost.py, 20 s);
# `make bench-smoke` runs each once at the smallest size and fails on a crash or a wrong
# result, never on a time.
.PHONY: bench bench-smoke
bench: build
	./bench/run.sh
	python3 bench/expand_bench.py $(BUILD)/tools/sql2json $(BUILD)/sample-root
	python3 bench/scale_bench.py $(BUILD)/tools/sql2json $(BUILD)/sample-root
	python3 bench/request_cost.py $(BUILD)/tools/sql2json $(BUILD)/sample-root

bench-smoke: build
	./bench/run.sh --smoke
	python3 bench/expand_bench.py $(BUILD)/tools/sql2json $(BUILD)/sample-root --smoke
	python3 bench/scale_bench.py $(BUILD)/tools/sql2json $(BUILD)/sample-root --smoke
	python3 bench/request_cost.py $(BUILD)/tools/sql2json $(BUILD)/sample-root --smoke
