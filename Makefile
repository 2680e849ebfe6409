# Wraps the CMake presets. `make run` starts the product, `make test` runs every test.
# `make run` installs and builds only what running needs: the console, the
# simulator and the tools, without tests and benchmarks (a later `make test`
# turns them on again in the same build tree).
PRESET ?= default
JOBS ?= $(shell nproc)

.PHONY: all deps deps-run configure build test check unit format-check test-windows package-windows test-drivers run run-windows fleet asan tsan bench fuzz package package-check format clean

all: build

deps:
	@scripts/setup-deps

deps-run:
	@scripts/setup-deps run

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

# The developer's loop: build, then the unit tier (label unit: seconds in all,
# without servers, ptys or the tool's process), then every other test but those
# labelled slow (their cases wait out long time-outs; `make test` runs them).
check: build
	@ctest --preset $(PRESET) -j $(JOBS) --label-regex '^unit$$'
	@ctest --preset $(PRESET) -j $(JOBS) --label-exclude '^(slow|unit)$$'

# The unit tier alone.
unit: build
	@ctest --preset $(PRESET) -j $(JOBS) --label-regex '^unit$$'

# Cross-builds the Windows DLLs and runs their tests under Wine against the simulator.
test-windows:
	@JOBS=$(JOBS) scripts/test-windows

# The Windows zip and installer (NSIS) into build/packages/.
package-windows:
	@JOBS=$(JOBS) scripts/package-windows

# The libraries, `tavik` and the console on the kernel's real serial drivers
# (8250 UART and FTDI USB adapters) in a virtual machine under QEMU.
test-drivers:
	@JOBS=$(JOBS) scripts/test-drivers

# The Windows console under Wine against the simulator; without a display it
# clicks a short session and saves build/tavik-demo-windows.png.
run-windows:
	@JOBS=$(JOBS) scripts/run-windows

# The console and the simulator (whose code the console's --simulate shares)
# are built first and the console started; the tools are built meanwhile, on
# one core, and on all of them once the console has closed.
TOOL_TARGETS = tavik tavik-psb-demo
run: deps-run
	@cmake --preset $(PRESET) -DTAVIK_BUILD_TESTS=OFF -DTAVIK_BUILD_BENCH=OFF >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS) --target tavik-v1-basic tavik-sim
	@ninja -C build/$(PRESET) -j 1 $(TOOL_TARGETS) >build/run-tools.log 2>&1 & tools=$$!; \
	  trap 'kill $$tools 2>/dev/null; exit 130' INT TERM; \
	  status=0; scripts/run-demo build/$(PRESET) || status=$$?; \
	  kill $$tools 2>/dev/null; wait $$tools 2>/dev/null; trap - INT TERM; \
	  ninja -C build/$(PRESET) -j $(JOBS) $(TOOL_TARGETS) >>build/run-tools.log 2>&1 || \
	    { cat build/run-tools.log; echo "make run: building $(TOOL_TARGETS) failed" >&2; exit 1; }; \
	  echo "make run: built $(TOOL_TARGETS) in build/$(PRESET)"; exit $$status

# The fleet page served by a mosquitto of its own, two simulated robots and
# their bridges (scripts/fleet); without a display it saves build/tavik-fleet.png.
# playwright-core (for the screenshot) comes with the browser tests' modules.
FLEET_TARGETS = tavik tavik-sim tavik-web tavik-web-test-modules
fleet: deps
	@cmake --preset $(PRESET) -DTAVIK_BUILD_TESTS=ON >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS) --target $(FLEET_TARGETS)
	@NODE_PATH=$$(sed -n 's/^TAVIK_WEB_NODE_PATH:INTERNAL=//p' build/$(PRESET)/CMakeCache.txt) \
	  scripts/fleet build/$(PRESET)

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
	@build/$(PRESET)/bench/paced_sar_bench
	@build/$(PRESET)/bench/ser2net_sar_bench
	@build/$(PRESET)/bench/sim_bench
	@build/$(PRESET)/bench/shutdown_bench
	@build/$(PRESET)/bench/drive_line_bench
	@build/$(PRESET)/bench/late_reply_bench
	@build/$(PRESET)/bench/reconnect_bench
	@build/$(PRESET)/bench/ports_file_bench
	@build/$(PRESET)/bench/console_cost_bench

# Debian packages of the libraries, tools and console into build/packages/
# (preset "package", Debian's hardening flags), then lintian, which fails on errors.
DPKG_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	@cmake --preset package \
	  -DCMAKE_C_FLAGS="$$($(DPKG_FLAGS) CFLAGS) $$($(DPKG_FLAGS) CPPFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$$($(DPKG_FLAGS) CXXFLAGS) $$($(DPKG_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DPKG_FLAGS) LDFLAGS)" \
	  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DPKG_FLAGS) LDFLAGS)" >/dev/null
	@cmake --build --preset package -j $(JOBS)
	@rm -rf build/packages
	@cpack --preset package >build/package/cpack.log 2>&1 || { cat build/package/cpack.log; exit 1; }
	@rm -rf build/packages/_CPack_Packages
	@ls -1 build/packages/*.deb
	@lintian --fail-on error build/packages/*.deb

# Installs the packages, builds and runs the consumer programs against them
# and tavik-sim, then purges the packages again (root or sudo).
package-check:
	@scripts/package-check

format:
	@scripts/format

format-check:
	@scripts/format --check

clean:
	@rm -rf build
