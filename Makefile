# Wraps the CMake presets. `make run` starts the product, `make test` runs every test.
PRESET ?= default
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-windows run asan tsan bench fuzz format clean

all: build

deps:
	@scripts/setup-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

# Cross-builds the Windows DLLs and runs their tests under Wine against the simulator.
test-windows:
	@JOBS=$(JOBS) scripts/test-windows

run: build
	@scripts/run-demo build/$(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@for target in board_reply_fuzz sim_request_fuzz; do \
	  mkdir -p build/fuzz/corpus/$$target; \
	  echo "fuzz: $$target for $(FUZZ_SECONDS) s"; \
	  build/fuzz/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -rss_limit_mb=1024 \
	    build/fuzz/corpus/$$target > build/fuzz/$$target.log 2>&1 \
	    || { tail -40 build/fuzz/$$target.log; exit 1; }; \
	  tail -1 build/fuzz/$$target.log; \
	done

bench: build
	@build/$(PRESET)/bench/exchange_bench
	@build/$(PRESET)/bench/sim_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
