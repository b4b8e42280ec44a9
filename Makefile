# Thin front end to the CMake build.
#   make            build the library, the mvx program and the tests (gcc)
#   make run        build, then show the library's version and module registry,
#                   and compile the IGES example dictionary and print its dump
#   make test       build and run the tests, then again with ASan+UBSan (clang)
#   make bench      build optimised and run the benchmarks (installs Google
#                   Benchmark with apt-get when it is missing), BENCH_REPS
#                   repetitions each, then print each libmvx benchmark's
#                   time ratio to its anchor against the goal in its source
#   make bench-build, make fuzz-build   build those trees without running them
#   make coverage   build with gcc --coverage, run the tests, print line and
#                   branch coverage of src/ and tools/ (HTML report in the build)
#   make fuzz-smoke build the fuzz targets and run each briefly
#   make install    build and install under $(DESTDIR)$(PREFIX) (default /usr/local):
#                   libraries, headers, the mvx program, pkg-config and CMake files
#   make corpus-check  classify the exchange files of CORPUS (default
#                   ../shared/corpus) with `mvx filetype` against `file -b`
#   make fuzz       run each fuzz target for FUZZ_SECONDS (default 60) from its
#                   seeds; crashing inputs go to build-fuzz/findings/<target>/
#   make format     format the tree with clang-format

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
COV_BUILD  ?= build-coverage
PREFIX     ?= /usr/local
FUZZ_RUNS  ?= 5000
CORPUS     ?= ../shared/corpus
FUZZ_SECONDS ?= 60
BENCH_REPS ?= 3
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
CLANG_CC   := $(shell command -v clang >/dev/null 2>&1 && echo clang || echo gcc)
CLANG_CXX  := $(shell command -v clang++ >/dev/null 2>&1 && echo clang++ || echo g++)

.PHONY: all build run install test test-main test-asan bench bench-deps bench-build coverage \
        fuzz-build fuzz-smoke fuzz corpus-check format clean

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

# The package files find their prefix from where they are installed, so the
# prefix is given at install time and the build tree is the ordinary one.
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

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

# The anchors of the benchmarks (Google Benchmark itself, libmagic, Eigen, LAPACK) are
# needed by the benchmarks alone, so only they install them: PACKAGE:FILE
# pairs, a package installed when its file is missing.
BENCH_DEPS := libbenchmark-dev:/usr/include/benchmark/benchmark.h libmagic-dev:/usr/include/magic.h \
  libeigen3-dev:/usr/include/eigen3/Eigen/Core liblapack-dev:/usr/lib/x86_64-linux-gnu/liblapack.so
bench-deps:
	@missing=; for dep in $(BENCH_DEPS); do [ -e $${dep#*:} ] || missing="$$missing $${dep%%:*}"; done; \
	if [ -n "$$missing" ]; then echo "installing benchmark anchors:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; fi

$(BENCH_BUILD)/CMakeCache.txt: | bench-deps
	cmake -S . -B $(BENCH_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DMVX_TESTS=OFF -DMVX_BENCH=ON

bench-build: bench-deps $(BENCH_BUILD)/CMakeCache.txt
	cmake --build $(BENCH_BUILD) -j $(JOBS)

# Each benchmark source runs as its own process (one group cannot leave
# process-wide state behind for the next), each benchmark BENCH_REPS times,
# its repetitions interleaved at random with those of its group so that a
# noisy spell on the shared machine does not hit one side of a pair only. The
# closing table compares medians of this run; a group that fails is named
# there and makes the target fail after the table is printed.
bench: bench-build
	@rm -rf $(BENCH_BUILD)/results && mkdir -p $(BENCH_BUILD)/results; failed=; \
	for prog in $(BENCH_BUILD)/mvx_bench_*; do \
	  group=$${prog##*/mvx_bench_}; echo "== $$group"; \
	  $$prog --benchmark_min_time=0.2 --benchmark_repetitions=$(BENCH_REPS) \
	    --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
	    --benchmark_out=$(BENCH_BUILD)/results/$$group.json --benchmark_out_format=json \
	    || failed="$$failed $$group"; \
	done; \
	python3 tools/bench_table.py $(BENCH_BUILD)/results/*.json bench/*.cpp; \
	if [ -n "$$failed" ]; then echo "benchmark groups that failed:$$failed"; exit 1; fi

$(COV_BUILD)/CMakeCache.txt:
	cmake -S . -B $(COV_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DMVX_COVERAGE=ON

# Counters start from zero on every run, so the figures are those of one
# whole run of the suite.
coverage: $(COV_BUILD)/CMakeCache.txt
	cmake --build $(COV_BUILD) -j $(JOBS)
	find $(COV_BUILD) -name '*.gcda' -delete
	cd $(COV_BUILD) && ctest -j $(JOBS) --output-on-failure
	mkdir -p $(COV_BUILD)/coverage
	gcovr -r . --object-directory $(COV_BUILD) --exclude-directories '.*/CMakeFiles/[0-9].*' \
	  --filter 'src/' --filter 'tools/' \
	  --html-details $(COV_BUILD)/coverage/index.html --print-summary

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DMVX_SANITIZE=ON -DMVX_FUZZ=ON \
	  -DMVX_TESTS=OFF -DCMAKE_C_COMPILER=$(CLANG_CC) -DCMAKE_CXX_COMPILER=$(CLANG_CXX)

fuzz-build: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Runs every fuzz target for a short while from its seeds.
fuzz-smoke: fuzz-build
	@for f in $(FUZZ_BUILD)/fuzz/*; do \
	  name=$$(basename $$f); name=$${name#fuzz_}; \
	  work=$$(mktemp -d); seeds=; \
	  [ -d fuzz/corpus/$$name ] && seeds=fuzz/corpus/$$name; \
	  echo "fuzz: $$f"; \
	  $$f -runs=$(FUZZ_RUNS) -max_len=8192 $$work $$seeds > $$work.log 2>&1; rc=$$?; \
	  tail -n 2 $$work.log; rm -rf $$work $$work.log; \
	  [ $$rc -eq 0 ] || exit 1; \
	done

corpus-check: build
	python3 tools/corpus_check.py ./$(BUILD)/tools/mvx $(CORPUS)

# Runs every fuzz target for FUZZ_SECONDS, seeded from fuzz/corpus/<target>.
# What a target learns stays in build-fuzz/corpus/<target> for the next run;
# an input that fails is saved in build-fuzz/findings/<target>/ (copy it
# into fuzz/corpus/<target> once fixed, so it stays a regression seed).
# Every target runs; the command fails at the end if any of them failed.
fuzz: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@failed=; for f in $(FUZZ_BUILD)/fuzz/*; do \
	  name=$$(basename $$f); name=$${name#fuzz_}; \
	  work=$(FUZZ_BUILD)/corpus/$$name; found=$(FUZZ_BUILD)/findings/$$name; \
	  mkdir -p $$work $$found; seeds=; \
	  [ -d fuzz/corpus/$$name ] && seeds=fuzz/corpus/$$name; \
	  echo "fuzz: $$f for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -artifact_prefix=$$found/ \
	    $$work $$seeds > $$found/last.log 2>&1 || failed="$$failed $$name"; \
	  grep -E '^#[0-9]+.*(DONE|pulse)' $$found/last.log | tail -n 1; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: failed:$$failed (see $(FUZZ_BUILD)/findings)"; exit 1; fi

format:
	clang-format -i $$(git ls-files '*.c' '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(COV_BUILD)
