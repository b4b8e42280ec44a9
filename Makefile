# Thin front end to the CMake build.
#   make            build the library, the mvx program and the tests (gcc)
#   make run        build, then show the library's version and module registry,
#                   and compile the IGES example dictionary and print its dump
#   make test       build and run the tests, then again with ASan+UBSan (clang)
#   make bench      build optimised and run the benchmarks
#   make coverage   build with gcc --coverage, run the tests, print line and
#                   branch coverage of src/ and tools/ (HTML report in the build)
#   make fuzz-smoke build the fuzz targets and run each briefly
#   make format     format the tree with clang-format

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
COV_BUILD  ?= build-coverage
FUZZ_RUNS  ?= 5000
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CLANG_CC   := $(shell command -v clang >/dev/null 2>&1 && echo clang || echo gcc)
CLANG_CXX  := $(shell command -v clang++ >/dev/null 2>&1 && echo clang++ || echo g++)

.PHONY: all build run test test-main test-asan bench coverage fuzz-smoke format clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/tools/mvx info
	./$(BUILD)/tools/mvx ddf compile examples/iges.ddl -o $(BUILD)/iges.ddf
	./$(BUILD)/tools/mvx ddf dump $(BUILD)/iges.ddf

test: test-main test-asan fuzz-smoke

test-main: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DMVX_SANITIZE=ON \
	  -DCMAKE_C_COMPILER=$(CLANG_CC) -DCMAKE_CXX_COMPILER=$(CLANG_CXX)

test-asan: $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j $(JOBS) --output-on-failure

$(BENCH_BUILD)/CMakeCache.txt:
	@dpkg -s libeigen3-dev liblapack-dev >/dev/null 2>&1 || \
	  (apt-get update && apt-get install -y libeigen3-dev liblapack-dev)
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DMVX_TESTS=OFF -DMVX_BENCH=ON

bench: $(BENCH_BUILD)/CMakeCache.txt
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	./$(BENCH_BUILD)/mvx_bench --benchmark_min_time=0.2

$(COV_BUILD)/CMakeCache.txt:
	cmake -S . -B $(COV_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
	  -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage

# Counters start from zero on every run, so the figures are those of one
# whole run of the suite.
coverage: $(COV_BUILD)/CMakeCache.txt
	cmake --build $(COV_BUILD) -j $(JOBS)
	find $(COV_BUILD) -name '*.gcda' -delete
	cd $(COV_BUILD) && ctest -j $(JOBS) --output-on-failure
	mkdir -p $(COV_BUILD)/coverage
	gcovr -r . --object-directory $(COV_BUILD) --filter 'src/' --filter 'tools/' \
	  --html-details $(COV_BUILD)/coverage/index.html --print-summary

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DMVX_SANITIZE=ON -DMVX_FUZZ=ON \
	  -DMVX_TESTS=OFF -DCMAKE_C_COMPILER=$(CLANG_CC) -DCMAKE_CXX_COMPILER=$(CLANG_CXX)

# Runs every fuzz target for a short while from an empty corpus.
fuzz-smoke: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for f in $(FUZZ_BUILD)/fuzz/*; do \
	  name=$$(basename $$f); name=$${name#fuzz_}; \
	  work=$$(mktemp -d); seeds=; \
	  [ -d fuzz/corpus/$$name ] && seeds=fuzz/corpus/$$name; \
	  echo "fuzz: $$f"; \
	  $$f -runs=$(FUZZ_RUNS) -max_len=8192 $$work $$seeds > $$work.log 2>&1; rc=$$?; \
	  tail -n 2 $$work.log; rm -rf $$work $$work.log; \
	  [ $$rc -eq 0 ] || exit 1; \
	done

format:
	clang-format -i $$(git ls-files '*.c' '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(COV_BUILD)
