# The two commands of the README. Each does all set-up on a fresh Debian machine.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
SANBUILD ?= build-asan
FUZZBUILD ?= build-fuzz
# Seconds each fuzz target runs under `make fuzz`.
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-asan test test-format test-lint test-plain test-cluster test-asan demo demo-national clean build-fuzz test-fuzz fuzz

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

$(SANBUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DVEG_SANITIZE=ON -DVEG_BUILD_BENCH=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(SANBUILD)/CMakeCache.txt
	cmake --build $(SANBUILD) -j $(JOBS)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE cluster

# The workflow on a single-node Slurm that the test starts and stops itself; its output says what
# it measured, or why it was skipped.
test-cluster: build
	cd $(BUILD) && ctest -L cluster --output-on-failure --verbose

test-asan: build-asan
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) -LE "cluster|faults"

# The fuzz targets of the parsers, built with clang and libFuzzer.
$(FUZZBUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVEG_FUZZ=ON -DVEG_BUILD_TESTS=OFF -DVEG_BUILD_BENCH=OFF

build-fuzz: deps $(FUZZBUILD)/CMakeCache.txt
	cmake --build $(FUZZBUILD) -j $(JOBS) --target fuzz_targets

# A few seconds per target over its seed corpus; a crash, leak or sanitizer report fails.
test-fuzz: build-fuzz
	cd $(FUZZBUILD) && ctest -L fuzz --output-on-failure

# Each target for FUZZ_SECONDS, one after another; new inputs are kept in $(FUZZBUILD)/fuzz/corpus.
fuzz: build-fuzz
	@set -e; for target in $$(ls $(FUZZBUILD)/fuzz | grep '^fuzz_' | grep -v -- '-'); do \
		echo "== $$target ($(FUZZ_SECONDS) s)"; \
		VEG_GRIDPROBE=$(CURDIR)/$(FUZZBUILD)/bin/gridprobe $(FUZZBUILD)/fuzz/$$target \
			$$(cat tests/fuzz/$$target.flags 2>/dev/null) -max_total_time=$(FUZZ_SECONDS) -timeout=20 \
			-rss_limit_mb=2048 -print_final_stats=1 \
			-artifact_prefix=$(FUZZBUILD)/fuzz/$$target- \
			$(FUZZBUILD)/fuzz/corpus/$$target tests/fuzz/corpus/$$target; \
	done

# Every C++ source formatted with the project's .clang-format.
test-format: deps
	@bash scripts/check-format.sh

# Every Python file through flake8 and every shell script through shellcheck.
test-lint: deps
	@bash scripts/check-lint.sh

test: test-format test-lint test-plain test-cluster test-asan test-fuzz

demo: build
	@bash scripts/demo.sh $(BUILD)

# A country in miniature: four regions over the sample tiles, national mosaics and reports.
demo-national: build
	@bash scripts/demo-national.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD)
