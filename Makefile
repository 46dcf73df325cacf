# Build, test and demo entry points. Every target installs missing Debian packages first.
# The module is built for Debian's python3 (it has pytest from Debian's packages);
# choose another interpreter with `make PYTHON=/path/to/python3`.
PYTHON ?= /usr/bin/python3
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-cpp test-python test-stubs asan-build test-sanitize test-python-asan \
  test-tsan test-hardening demo bench fuzz clean

all: build

deps:
	@tools/ensure-deps.sh

$(BUILD)/build.ninja: | deps
	meson setup $(BUILD) -Dpython=$(PYTHON)

build: deps $(BUILD)/build.ninja
	ninja -C $(BUILD) -j $(JOBS)

test-cpp: build
	meson test -C $(BUILD) --print-errorlogs

test-python: build
	PYTHONPATH=$(BUILD):python $(PYTHON) -m pytest -q tests/python

# The type stubs python/_tessark.pyi checked against the built module by mypy's stubtest.
test-stubs: build
	@tools/ensure-deps.sh python3-mypy
	MYPYPATH=python PYTHONPATH=$(BUILD) $(PYTHON) -m mypy.stubtest _tessark \
	  --allowlist python/stubtest-allowlist.txt

test: test-cpp test-python test-stubs

# Everything built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan-build: deps
	[ -f $(ASAN_BUILD)/build.ninja ] || meson setup $(ASAN_BUILD) -Dpython=$(PYTHON) \
	  -Dbuildtype=debugoptimized -Db_sanitize=address,undefined -Db_lundef=false
	ninja -C $(ASAN_BUILD) -j $(JOBS)

# The C++ suites under the sanitizers (LeakSanitizer included).
test-sanitize: asan-build
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 meson test -C $(ASAN_BUILD) --print-errorlogs

# The Python suite against the sanitizer build of the module. The interpreter is not
# instrumented, so the sanitizer runtimes are preloaded; leak reports are off here because the
# interpreter keeps much of its own memory until exit (the C++ suites and fuzzers check leaks).
ASAN_PRELOAD = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libubsan.so)
test-python-asan: asan-build
	LD_PRELOAD="$(ASAN_PRELOAD)" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  PYTHONPATH=$(ASAN_BUILD):python $(PYTHON) -m pytest -q tests/python

# The validator suite (worker pool, parallel batches) under ThreadSanitizer.
test-tsan: deps
	[ -f $(TSAN_BUILD)/build.ninja ] || meson setup $(TSAN_BUILD) -Dpython=$(PYTHON) \
	  -Dbuildtype=debugoptimized -Db_sanitize=thread -Db_lundef=false
	ninja -C $(TSAN_BUILD) -j $(JOBS) tests/cpp/validator_test
	TSAN_OPTIONS=halt_on_error=1:die_after_fork=0 TESSARK_NUM_THREADS=4 \
	  $(TSAN_BUILD)/tests/cpp/validator_test

demo: build
	PYTHONPATH=$(BUILD):python $(PYTHON) examples/demo.py

bench: deps
	[ -f $(BUILD)-bench/build.ninja ] || meson setup $(BUILD)-bench -Dpython=$(PYTHON) -Dbench=true -Dtests=false
	ninja -C $(BUILD)-bench -j $(JOBS)
	meson test -C $(BUILD)-bench --benchmark --verbose

# libFuzzer targets under ASan+UBSan (clang), each run for FUZZ_SECONDS.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: deps
	@tools/ensure-deps.sh clang libclang-rt-14-dev
	[ -f $(FUZZ_BUILD)/build.ninja ] || CXX=clang++ meson setup $(FUZZ_BUILD) -Dpython=$(PYTHON) \
	  -Dfuzz=true -Dtests=false -Dbuildtype=debugoptimized -Db_sanitize=address,undefined -Db_lundef=false
	ninja -C $(FUZZ_BUILD) -j $(JOBS) fuzz/fuzz_validate fuzz/fuzz_extract fuzz/fuzz_schema_json
	tools/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# What CI runs beyond `make test`: sanitizer suites and a bounded fuzzing run.
test-hardening: test-sanitize test-python-asan test-tsan fuzz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BUILD)-bench $(FUZZ_BUILD)
