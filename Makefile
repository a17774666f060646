# The two set-up commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean package install screenshots interop libcxx portability

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@./scripts/run.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@./scripts/bench.sh $(BUILD_DIR)

# The README's screenshots, from the real window under Xvfb against the demo devices.
screenshots: build
	@./scripts/screenshots.sh $(BUILD_DIR) docs/screenshots

# Clipboard, drag and drop and trash against real Nautilus, PCManFM-Qt and Dolphin, under Xvfb.
# Installs those file managers for this check only (INTEROP_MANAGERS picks fewer).
interop: build
	@./scripts/interop.sh $(BUILD_DIR) $(BUILD_DIR)/interop

# A Debian package (CPack) in the build folder.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

install: build
	@cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# Applies each fault of tests/faults/faults.txt in turn, builds, runs every test and reports
# which faults the suite catches (in $(BUILD_DIR)/faults-report.txt); about a minute a fault.
faults: build
	@./scripts/faults.sh . $(BUILD_DIR)
.PHONY: faults

# Fuzz every decoder for FUZZ_SECONDS each (default 180), or FUZZ_RUNS inputs; crashes land in
# tests/fuzz/crashes/. libFuzzer comes with clang, which only this target needs.
fuzz:
	@LANTHORN_EXTRA_PACKAGES="clang-14 $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@JOBS=$(JOBS) ./scripts/fuzz.sh
.PHONY: fuzz

# The whole suite under AddressSanitizer, LeakSanitizer and UBSan (preset "asan", in build-asan/).
asan: deps
	@JOBS=$(JOBS) ./scripts/asan.sh
.PHONY: asan

# Every source compiled (syntax only) with clang against libc++, the C++ library Apple ships.
libcxx: build
	@LANTHORN_EXTRA_PACKAGES="clang-14 libc++-14-dev libc++abi-14-dev python3 $(LANTHORN_EXTRA_PACKAGES)" ./scripts/install-deps.sh
	@JOBS=$(JOBS) ./scripts/libcxx-check.sh $(BUILD_DIR)

# `make test` inside a Debian 13 root made with debootstrap (newer Qt, libplist and GCC). Root only.
portability:
	@JOBS=$(JOBS) ./scripts/portability.sh
