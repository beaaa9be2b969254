# Thin wrapper over CMake. `make run` builds and runs the demo; `make test`
# builds and runs every test (plain, then under ASan+UBSan, then the fuzzers).
JOBS    ?= $(shell nproc)
RELEASE := build/release
ASAN    := build/asan
FUZZ    := build/fuzz
TSAN    := build/tsan
# The suites whose tests run threads against each other: queue, timers, loader, render cycle,
# the recording writer, the application core with its gesture timer.
TSAN_LAYERS := platform sounds engine output shell
FRISSON := $(RELEASE)/app/frisson
DEMO    := build/demo

.PHONY: all deps build run test test-release test-asan test-tsan fuzz format format-check bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

run: build
	@scripts/demo.sh $(FRISSON) $(DEMO)

test: deps format-check test-release test-asan test-tsan fuzz

test-release: build
	@ctest --test-dir $(RELEASE) -j $(JOBS) --output-on-failure

test-asan: deps
	@cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFRISSON_BUILD_BENCH=OFF \
	    -DFRISSON_SANITIZE=address,undefined >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	@ctest --test-dir $(ASAN) -j $(JOBS) --output-on-failure

test-tsan: deps
	@cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFRISSON_BUILD_BENCH=OFF \
	    -DFRISSON_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN) -j $(JOBS) --target $(TSAN_LAYERS:=_tests)
	@for layer in $(TSAN_LAYERS); do \
	    echo "ThreadSanitizer: $${layer}_tests"; \
	    $(TSAN)/tests/$$layer/$${layer}_tests --gtest_brief=1 || exit 1; \
	done

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DFRISSON_BUILD_TESTS=OFF -DFRISSON_BUILD_BENCH=OFF -DFRISSON_BUILD_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target fuzz_targets
	@scripts/run-fuzzers.sh $(FUZZ)

bench: build
	@for b in $(RELEASE)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror

clean:
	rm -rf build
