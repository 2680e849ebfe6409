# Wraps the CMake presets. `make run` starts the product, `make test` runs every test.
PRESET ?= default
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run asan tsan bench fuzz format clean

all: build

deps:
	@scripts/setup-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

run: build
	@scripts/run-demo build/$(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

tsan:
	@$(MAKE) --no-print-directory test PRESET=tsan

bench: build
	@build/$(PRESET)/bench/exchange_bench
	@build/$(PRESET)/bench/sim_bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build
